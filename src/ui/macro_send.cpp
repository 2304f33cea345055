// The one send operation of a macro row, started by its button, its repeat
// timer or an automatic reply.
#include "macro_row.h"

#include "bytes_text.h"
#include "codec.h"
#include "errors.h"
#include "forms.h"
#include "main_window.h"
#include "states_window.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

// Sends under way at once. An echo's reply is answered inside the send, so
// a filter that answers its own echoed data would nest without end; the
// send beyond this depth fails instead and the chain unwinds.
constexpr int maxNestedSends = 16;
int sendsunderway = 0;

class SendDepth {
public:
    SendDepth() {
        if (sendsunderway >= maxNestedSends)
            throw KrovanError("Too many nested sends.");
        ++sendsunderway;
    }
    ~SendDepth() { --sendsunderway; }
    SendDepth(const SendDepth &) = delete;
    SendDepth &operator=(const SendDepth &) = delete;
};

void nolink() {
    Form_RX_TX->adderror("CHYBA: Žádné aktivní připojení");
}

} // namespace

void TFrame_tx::Button_sendClick() {
    // A text that does not convert ends the send before anything is logged;
    // the error box shows the conversion error.
    const std::string text = toBytes(Edit_data->text());
    const std::string bytes = CheckBox_hex->isChecked() ? hextostr(text) : wildtostr(text);

    const LinkKind link = Form1->activelink();
    if (link == LinkKind::None)
        return nolink();
    const QString address =
        Form_RX_TX->CheckBox_adr->isChecked() ? Form1->sendaddress(link) : QString();
    // The record is written before the bytes leave, so it stays even when
    // the link then fails.
    Form_RX_TX->logdata(Direction::Sent, bytes, address, QString());

    const LinkKind now = Form1->activelink();
    if (now == LinkKind::None)
        return nolink();
    try {
        const SendDepth depth;
        Form1->linksend(now, bytes);
    } catch (const std::exception &) {
        Form_RX_TX->adderror("CHYBA: Nepovedlo se odeslat.", "MS Sans Serif");
    }
}
