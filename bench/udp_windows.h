#pragma once

// The UDP loop the window benchmarks set up through the panels: the macro
// "ack" answering the filter <stx> of the first row, and the UDP panel
// opened towards a peer on 127.0.0.1.
#include "filter_list_window.h"
#include "filter_row.h"
#include "forms.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "main_window.h"
#include "udp_link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

inline void answerstx() {
    TFrame_tx *macro = Form_TX->tx_frames[1];
    macro->Edit_popis->setText("ack");
    macro->Edit_data->setText("<ack>reply");
    TFrame_filtr *filter = Form_RX_filtr->filtr_frames[1];
    filter->Edit_filtr->setText("<stx>");
    filter->ComboBox_filtr_macro->setEditText("ack");
    filter->CheckBox_filtr_active->setChecked(true);
}

// Opens UDP on a port the system chooses, sending to the peer's port, and
// returns the local port.
inline int openudp(int peerport) {
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->ComboBox_pripojeniChange();
    Form1->Edit_rx_port->setText("0");
    Form1->Edit_tx_adr->setText("127.0.0.1");
    Form1->Edit_tx_port->setText(QString::number(peerport));
    Form1->connectclicked(LinkKind::Udp);
    return Form1->session.linkas<UdpLink>(LinkKind::Udp).localPort();
}
