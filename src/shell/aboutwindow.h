#pragma once

#include "orbiphonversion.h"

#include <QDialog>

inline constexpr const char* ProductVersionText = "Version " ORBIPHON_VERSION;
inline constexpr const char* MakerWebAddress = "http://www.orbiphon.example/";

class AboutWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

// Shows the About window over parent until the operator closes it.
void showAboutWindow(QWidget* parent);
