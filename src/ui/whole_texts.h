#pragma once

class QWidget;

// Lifts the edit fields' default limit of 32 767 characters from every edit
// field below `root` (editable combo boxes included): no field may cut a
// text the user typed or pasted.
void takewholetexts(QWidget *root);
