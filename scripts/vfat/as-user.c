/* Runs a command as another user: the guest's busybox cannot drop root.
   Usage: as-user UID GID COMMAND [ARGUMENT...] */
#include <grp.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: as-user UID GID COMMAND [ARGUMENT...]\n");
        return 127;
    }
    const uid_t uid = (uid_t)strtoul(argv[1], NULL, 10);
    const gid_t gid = (gid_t)strtoul(argv[2], NULL, 10);
    if (setgroups(0, NULL) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
        perror("as-user");
        return 127;
    }
    execvp(argv[3], argv + 3);
    perror(argv[3]);
    return 127;
}
