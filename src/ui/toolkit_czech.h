#pragma once

// Loads the toolkit's own Czech texts (file dialogs, the standard buttons
// of the boxes, the edit fields' menus) once, so that they match the
// program's Czech windows; its messages stay as they are. Where the
// translation is not installed, the texts stay in English.
void loadtoolkitczech();
