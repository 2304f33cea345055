// The main window's side of the ICMP echo link: switching it on and off.
#include "main_window.h"

void TForm1::icmpon() {
    session.icmpon();
}

void TForm1::icmpoff() {
    session.icmpoff();
}
