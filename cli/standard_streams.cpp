#include "cli/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

void open_closed_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) {
            continue;
        }
        // open returns the lowest free number, which is fd itself while the lower ones are
        // open; should it not, there is nothing better to do than to leave fd closed.
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != -1 && opened != fd) {
            close(opened);
        }
    }
}
