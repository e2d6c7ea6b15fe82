/* Replays a log of block writes in the format of the kernel's dm-log-writes
   target (also written by qemu's blklogwrites driver): a super block in the
   first sector (magic, version, number of entries, sector size), then per
   entry one sector holding its header (first sector written, number of
   sectors, flags, length of inline data) followed by the sectors written,
   none for a discard; a mark keeps its text in the header's sector.

     replay-log LOG                   one line per entry: index, "write",
                                      "flush", "fua", "discard" or "mark",
                                      first sector, number of sectors
     replay-log LOG IMAGE FROM TO     writes entries FROM..TO-1 (0-based)
                                      onto IMAGE, a copy of the volume as it
                                      was when the log began

   A copy replayed up to entry N is the volume as a power cut at that moment
   leaves it on a device that keeps every write it acknowledged. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kFlush = 1, kFua = 2, kDiscard = 4, kMark = 8 };

static uint64_t Le64(const unsigned char* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

static void ReadAt(int fd, void* buffer, size_t size, off_t offset) {
    if (pread(fd, buffer, size, offset) != (ssize_t)size) {
        fprintf(stderr, "replay-log: the log ends early at byte %lld\n", (long long)offset);
        exit(1);
    }
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        fprintf(stderr, "usage: replay-log LOG [IMAGE FROM TO]\n");
        return 2;
    }
    const int log = open(argv[1], O_RDONLY);
    const int image = argc == 5 ? open(argv[2], O_WRONLY) : -1;
    if (log < 0 || (argc == 5 && image < 0)) {
        perror("replay-log");
        return 1;
    }
    unsigned char super[28];
    ReadAt(log, super, sizeof super, 0);
    const uint64_t magic = Le64(super), count = Le64(super + 16);
    const uint32_t sector = super[24] | super[25] << 8 | super[26] << 16 | (uint32_t)super[27] << 24;
    if (magic != 0x6a736677736872ULL || Le64(super + 8) != 1 || sector < 512 || sector > 65536) {
        fprintf(stderr, "replay-log: %s is not a log of block writes\n", argv[1]);
        return 1;
    }
    const uint64_t from = argc == 5 ? strtoull(argv[3], NULL, 10) : 0;
    const uint64_t to = argc == 5 ? strtoull(argv[4], NULL, 10) : count;
    char* data = NULL;
    off_t at = sector;
    for (uint64_t index = 0; index < count && index < to; ++index) {
        unsigned char header[32];
        ReadAt(log, header, sizeof header, at);
        const uint64_t first = Le64(header), sectors = Le64(header + 8), flags = Le64(header + 16);
        const size_t bytes = (size_t)sectors * sector;
        const int carries_data = !(flags & (kDiscard | kMark)) && sectors > 0;
        if (argc == 2) {
            const char* kind = flags & kMark      ? "mark"
                               : flags & kDiscard ? "discard"
                               : carries_data     ? (flags & kFua ? "fua" : "write")
                                                  : "flush";
            printf("%llu %s %llu %llu\n", (unsigned long long)index, kind,
                   (unsigned long long)first, (unsigned long long)sectors);
        } else if (index >= from && carries_data) {
            data = realloc(data, bytes);
            ReadAt(log, data, bytes, at + sector);
            if (pwrite(image, data, bytes, (off_t)(first * sector)) != (ssize_t)bytes) {
                perror("replay-log: writing the image");
                return 1;
            }
        }
        at += sector + (flags & kDiscard ? 0 : (off_t)bytes);
    }
    free(data);
    if (image >= 0 && (fsync(image) != 0 || close(image) != 0)) {
        perror("replay-log: writing the image");
        return 1;
    }
    return 0;
}
