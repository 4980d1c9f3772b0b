#include "shell/aboutwindow.h"

#include "widgets/dialogunits.h"
#include "widgets/icons.h"
#include "widgets/widgets.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace {

inline constexpr const char* LegalNotice = "Copyright (C) 2026 Orbiphon. All rights reserved.";

}  // namespace

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName("aboutWindow");
    setWindowTitle("About Orbiphon");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogUnits du(font());
    setFixedSize(du.size(247, 55));

    auto* iconFrame = new QLabel(this);
    iconFrame->setObjectName("iconFrame");
    iconFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    iconFrame->setAlignment(Qt::AlignCenter);
    iconFrame->setGeometry(du.rect(7, 7, 24, 24));
    iconFrame->setPixmap(applicationIcon().pixmap(32, 32));

    sunkenLabel("productNameLabel", QStringLiteral("Orbiphon"), du.rect(38, 8, 70, 12), this);
    sunkenLabel("versionLabel", QString::fromLatin1(ProductVersionText), du.rect(112, 8, 70, 12),
                this);

    auto* legal = new QLabel(LegalNotice, this);
    legal->setObjectName("legalNoticeLabel");
    legal->setGeometry(du.rect(38, 24, 202, 9));

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    ok->setGeometry(du.rect(190, 7, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* web = new QPushButton(MakerWebAddress, this);
    web->setObjectName("webAddressButton");
    web->setFlat(true);
    web->setAutoDefault(false);
    web->setCursor(Qt::PointingHandCursor);
    QPalette linkColours = web->palette();
    linkColours.setColor(QPalette::ButtonText, linkColours.color(QPalette::Link));
    web->setPalette(linkColours);
    web->setGeometry(du.rect(110, 37, 130, 12));
    // Only asks the desktop to open the address; what it answers does not matter here.
    connect(web, &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(MakerWebAddress))); });

    ok->setFocus();
}

void showAboutWindow(QWidget* parent)
{
    AboutWindow about(parent);
    runModal(about);
}
