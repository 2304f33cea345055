// Reads a terminal's settings with the kernel's own structure, which holds
// custom speeds that the C library's one cannot express.
#include "pty_pair.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

LineSettings linesettings(int fd) {
    termios2 line{};
    LineSettings settings;
    if (ioctl(fd, TCGETS2, &line) != 0)
        return settings;
    settings.speed = line.c_ospeed;
    switch (line.c_cflag & CSIZE) {
    case CS5:
        settings.databits = 5;
        break;
    case CS6:
        settings.databits = 6;
        break;
    case CS7:
        settings.databits = 7;
        break;
    default:
        settings.databits = 8;
        break;
    }
    settings.parity = (line.c_cflag & PARENB) != 0;
    settings.twostopbits = (line.c_cflag & CSTOPB) != 0;
    settings.hardwareflow = (line.c_cflag & CRTSCTS) != 0;
    settings.softwareflow = (line.c_iflag & (IXON | IXOFF)) != 0;
    return settings;
}
