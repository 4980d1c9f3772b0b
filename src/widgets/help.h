#pragma once

#include <QString>

class Prompts;
class QWidget;

inline constexpr int HelpTopic = 100;

// The help file beside the executable: its name without extension, then ".html".
QString defaultHelpFile();

// Opens the help viewer at topic 100; "Failed to launch help." when the file cannot be read.
void showHelp(QWidget* parent, Prompts& prompts, const QString& helpFile);
