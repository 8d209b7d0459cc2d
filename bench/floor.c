/* The floor for pack and extract: the least a program must do per file, with plain system
 * calls and no checks, to compare vellocar-cli against in the same run.
 *
 *   floor pack SRCDIR OUT      every regular file of SRCDIR: open, read, append to OUT, close
 *   floor extract BIF DIR      every variable resource of BIF: create DIR/<index>, write, close
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kChunk = 256 * 1024 };
static char buffer[kChunk];

static int fail(const char* what) {
    perror(what);
    return 1;
}

static int pack(const char* folder, const char* outPath) {
    int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return fail(outPath);
    DIR* dir = opendir(folder);
    if (!dir) return fail(folder);
    int dirFd = dirfd(dir);
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
        if (entry->d_type != DT_REG) continue;
        int in = openat(dirFd, entry->d_name, O_RDONLY);
        if (in < 0) return fail(entry->d_name);
        ssize_t n;
        while ((n = read(in, buffer, kChunk)) > 0)
            if (write(out, buffer, (size_t)n) != n) return fail("write");
        close(in);
    }
    closedir(dir);
    return close(out) == 0 ? 0 : fail("close");
}

static uint32_t u32(const unsigned char* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static int extract(const char* bifPath, const char* folder) {
    int bif = open(bifPath, O_RDONLY);
    if (bif < 0) return fail(bifPath);
    unsigned char header[20];
    if (pread(bif, header, sizeof header, 0) != (ssize_t)sizeof header) return fail("header");
    uint32_t count = u32(header + 8), tableAt = u32(header + 16);
    unsigned char* table = malloc((size_t)count * 16);
    if (!table || pread(bif, table, (size_t)count * 16, tableAt) != (ssize_t)count * 16) return fail("table");
    int dirFd = open(folder, O_RDONLY | O_DIRECTORY);
    if (dirFd < 0) return fail(folder);
    char name[16];
    for (uint32_t i = 0; i < count; ++i) {
        off_t offset = u32(table + 16 * i + 4);
        size_t size = u32(table + 16 * i + 8);
        snprintf(name, sizeof name, "%u", i);
        int out = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (out < 0) return fail(name);
        while (size > 0) {
            size_t want = size < kChunk ? size : kChunk;
            ssize_t n = pread(bif, buffer, want, offset);
            if (n <= 0 || write(out, buffer, (size_t)n) != n) return fail("copy");
            offset += n;
            size -= (size_t)n;
        }
        close(out);
    }
    free(table);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "pack") == 0) return pack(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "extract") == 0) return extract(argv[2], argv[3]);
    fprintf(stderr, "usage: floor pack SRCDIR OUT | floor extract BIF DIR\n");
    return 2;
}
