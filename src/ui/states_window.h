#pragma once

#include <QWidget>

class TForm_RX_TX : public QWidget {
    Q_OBJECT
public:
    explicit TForm_RX_TX(QWidget *parent = nullptr);
};
