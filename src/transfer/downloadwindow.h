#pragma once

#include <QDialog>

struct Services;

class DownloadWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWindow)

public:
    explicit DownloadWindow(Services& services, QWidget* parent = nullptr);

private:
    Services& m_services;
};
