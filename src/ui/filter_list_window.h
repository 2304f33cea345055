#pragma once

#include <QWidget>

class TForm_RX_filtr : public QWidget {
    Q_OBJECT
public:
    explicit TForm_RX_filtr(QWidget *parent = nullptr);
};
