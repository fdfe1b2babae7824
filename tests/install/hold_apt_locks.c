/* Holds the locks that apt and dpkg take, as another apt-get would, for the
 * given number of seconds: hold_apt_locks SECONDS. Says "held" once it has
 * them. */

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* locks[] = {"/var/lib/dpkg/lock-frontend", "/var/lib/apt/lists/lock"};
    for (int i = 0; i < 2; ++i) {
        const int fd = open(locks[i], O_RDWR | O_CREAT, 0640);
        struct flock lock = {0};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fd < 0 || fcntl(fd, F_SETLKW, &lock) != 0) {
            perror(locks[i]);
            return 1;
        }
    }
    puts("held");
    fflush(stdout);
    sleep(argc > 1 ? (unsigned)atoi(argv[1]) : 5);
    return 0;
}
