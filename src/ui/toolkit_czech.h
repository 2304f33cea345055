#pragma once

// Loads the toolkit's own Czech texts (file dialogs, the standard buttons
// of the boxes) once, so that they match the program's Czech windows. Where
// the translation is not installed, they stay in English.
void loadtoolkitczech();
