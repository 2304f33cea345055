#pragma once

#include <QWidget>

class TForm_TX : public QWidget {
    Q_OBJECT
public:
    explicit TForm_TX(QWidget *parent = nullptr);
};
