/* The floor for an export on Windows: only what writing the files needs, nothing checked.
 *
 *   extract_floor BIF LIST DIR
 *
 * LIST holds one "name offset size" line per resource (offset and size within BIF). For each,
 * one CreateFileA (CREATE_ALWAYS) in DIR, one WriteFile of the bytes, one CloseHandle. The
 * BIF is read into memory first, so that only the output is timed beside vellocar-cli's
 * export of the same resources. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s BIF LIST DIR\n", argv[0]);
        return 2;
    }
    HANDLE bif = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (bif == INVALID_HANDLE_VALUE) return 1;
    LARGE_INTEGER size;
    GetFileSizeEx(bif, &size);
    char* data = malloc((size_t)size.QuadPart);
    DWORD got = 0;
    if (!data || !ReadFile(bif, data, (DWORD)size.QuadPart, &got, NULL) || got != size.QuadPart) return 1;
    CloseHandle(bif);

    FILE* list = fopen(argv[2], "r");
    if (!list) return 1;
    CreateDirectoryA(argv[3], NULL);
    char name[256], path[MAX_PATH];
    unsigned long offset, length;
    int files = 0;
    while (fscanf(list, "%255s %lu %lu", name, &offset, &length) == 3) {
        snprintf(path, sizeof path, "%s\\%s", argv[3], name);
        HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (out == INVALID_HANDLE_VALUE) return 1;
        DWORD written = 0;
        if (!WriteFile(out, data + offset, (DWORD)length, &written, NULL) || written != length) return 1;
        CloseHandle(out);
        ++files;
    }
    fclose(list);
    printf("%d files\n", files);
    return 0;
}
