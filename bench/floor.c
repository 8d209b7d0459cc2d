/* The floor for pack and extract: the least a program must do per file, with plain system
 * calls and no checks, to compare vellocar-cli against in the same run.
 *
 *   floor pack SRCDIR OUT          every regular file of SRCDIR: open, read, append to OUT, close
 *   floor extract BIF DIR          every variable resource of BIF: create DIR/<index>, write, close
 *   floor pack-cfr SRCDIR OUT      the same, the bytes moved by copy_file_range inside the kernel:
 *                                  open, fstat (an archive's table needs the size), copy, close
 *   floor extract-cfr BIF DIR      create DIR/<index>, copy_file_range from the BIF, close
 *   floor extract-erf ERF DIR      every resource of an ERF/HAK/MOD (V1.0): create DIR/<index>,
 *                                  copy_file_range from the archive, close
 *
 * The copy_file_range forms are what Vellocar itself does on Linux, so they are the floor its
 * pack and extract are held to there.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
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

/* Copies size bytes from in at offset (or from its own position when offset is NULL) to the end
 * of out, inside the kernel. */
static int copyRange(int in, off_t* offset, int out, size_t size) {
    while (size > 0) {
        ssize_t n = copy_file_range(in, offset, out, NULL, size, 0);
        if (n <= 0) return -1;
        size -= (size_t)n;
    }
    return 0;
}

static int packCfr(const char* folder, const char* outPath) {
    int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return fail(outPath);
    DIR* dir = opendir(folder);
    if (!dir) return fail(folder);
    int dirFd = dirfd(dir);
    struct dirent* entry;
    struct stat st;
    while ((entry = readdir(dir)) != NULL) {
        if (entry->d_type != DT_REG) continue;
        int in = openat(dirFd, entry->d_name, O_RDONLY);
        if (in < 0) return fail(entry->d_name);
        if (fstat(in, &st) != 0) return fail("fstat");
        if (copyRange(in, NULL, out, (size_t)st.st_size) != 0) return fail("copy_file_range");
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

/* The resources of table (count entries of stride bytes, offset and size at the given places in
 * each), each copied into a file of its own in folder by copy_file_range. */
static int extractCfrTable(int archive, const unsigned char* table, uint32_t count, size_t stride, size_t offsetAt,
                           size_t sizeAt, const char* folder) {
    int dirFd = open(folder, O_RDONLY | O_DIRECTORY);
    if (dirFd < 0) return fail(folder);
    char name[16];
    for (uint32_t i = 0; i < count; ++i) {
        off_t offset = u32(table + stride * i + offsetAt);
        size_t size = u32(table + stride * i + sizeAt);
        snprintf(name, sizeof name, "%u", i);
        int out = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (out < 0) return fail(name);
        if (copyRange(archive, &offset, out, size) != 0) return fail("copy_file_range");
        close(out);
    }
    close(dirFd);
    return 0;
}

static int extractCfr(const char* bifPath, const char* folder) {
    int bif = open(bifPath, O_RDONLY);
    if (bif < 0) return fail(bifPath);
    unsigned char header[20];
    if (pread(bif, header, sizeof header, 0) != (ssize_t)sizeof header) return fail("header");
    uint32_t count = u32(header + 8), tableAt = u32(header + 16);
    unsigned char* table = malloc((size_t)count * 16);
    if (!table || pread(bif, table, (size_t)count * 16, tableAt) != (ssize_t)count * 16) return fail("table");
    int result = extractCfrTable(bif, table, count, 16, 4, 8, folder);
    free(table);
    return result;
}

/* An ERF V1.0 header: entry count at 16, resource list offset at 28; each resource list entry
 * is offset and size. */
static int extractErf(const char* erfPath, const char* folder) {
    int erf = open(erfPath, O_RDONLY);
    if (erf < 0) return fail(erfPath);
    unsigned char header[160];
    if (pread(erf, header, sizeof header, 0) != (ssize_t)sizeof header) return fail("header");
    uint32_t count = u32(header + 16), listAt = u32(header + 28);
    unsigned char* table = malloc((size_t)count * 8);
    if (!table || pread(erf, table, (size_t)count * 8, listAt) != (ssize_t)count * 8) return fail("table");
    int result = extractCfrTable(erf, table, count, 8, 0, 4, folder);
    free(table);
    return result;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "pack-cfr") == 0) return packCfr(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "extract-cfr") == 0) return extractCfr(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "extract-erf") == 0) return extractErf(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "pack") == 0) return pack(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "extract") == 0) return extract(argv[2], argv[3]);
    fprintf(stderr,
            "usage: floor pack|pack-cfr SRCDIR OUT | floor extract|extract-cfr BIF DIR | floor extract-erf ERF DIR\n");
    return 2;
}
