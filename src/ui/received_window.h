#pragma once

#include <QWidget>

class TForm_rxw : public QWidget {
    Q_OBJECT
public:
    explicit TForm_rxw(QWidget *parent = nullptr);
};
