#include "whole_texts.h"

#include <QLineEdit>

#include <limits>

void takewholetexts(QWidget *root) {
    for (QLineEdit *edit : root->findChildren<QLineEdit *>())
        edit->setMaxLength(std::numeric_limits<int>::max());
}
