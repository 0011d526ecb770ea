#pragma once

class QCoreApplication;

// Loads Qt's Chinese translations (from qttranslations5-l10n) when they are installed.
bool install_qt_translations(QCoreApplication &app);

// The whole run of the program, from the application object to the last tear-down step.
int tarnova_main(int argc, char **argv);
