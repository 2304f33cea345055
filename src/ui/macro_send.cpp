#include "macro_row.h"

void TFrame_tx::Button_sendClick() {}
