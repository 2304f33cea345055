// The one send operation of a macro row, started by its button, its repeat
// timer or an automatic reply: the session's send of the row.
#include "macro_row.h"

#include "forms.h"
#include "session.h"

void TFrame_tx::Button_sendClick() {
    Session1->send(number);
}
