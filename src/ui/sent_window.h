#pragma once

#include <QWidget>

class TForm_txw : public QWidget {
    Q_OBJECT
public:
    explicit TForm_txw(QWidget *parent = nullptr);
};
