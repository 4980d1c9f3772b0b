#pragma once

#include <QDialog>

struct Services;
class IpAddressEdit;
class ProgressWindow;
class QLineEdit;

// Fetches one gateway's address book into a local file the operator names.
class DownloadWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWindow)

public:
    explicit DownloadWindow(Services& services, QWidget* parent = nullptr);

    ProgressWindow* progressWindow() const { return m_progress; }

    void download();
    void resetFields();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Services& m_services;
    IpAddressEdit* m_address = nullptr;
    QLineEdit* m_userId = nullptr;
    QLineEdit* m_password = nullptr;
    ProgressWindow* m_progress = nullptr;
};
