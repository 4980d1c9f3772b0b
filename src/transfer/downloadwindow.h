#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

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
    ~DownloadWindow() override;

    ProgressWindow* progressWindow() const { return m_progress; }
    // A download started by the Download button runs on until it ends, then the commands come
    // back.
    bool downloadRunning() const { return m_run != nullptr; }

    // Starts the probe and the transfer on a thread of their own and returns.
    void download();
    void resetFields();

    // While a download runs, Escape and the close box ask whether to stop it.
    void reject() override;

signals:
    void downloadEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Run;

    // On the download's thread: the probe, the operator's choice of file, the transfer.
    void work(Run& run, const std::string& address, const std::string& userId,
              const std::string& password);
    // On the window thread, once the probe has told: the file to fetch into, or empty.
    std::string chooseTarget(Run& run, bool found);
    void setBusy(bool busy);
    void askToStop();
    Q_INVOKABLE void finishDownload();

    Services& m_services;
    IpAddressEdit* m_address = nullptr;
    QLineEdit* m_userId = nullptr;
    QLineEdit* m_password = nullptr;
    ProgressWindow* m_progress = nullptr;
    std::vector<QWidget*> m_commands;  // off while a download runs
    std::unique_ptr<Run> m_run;
    bool m_busy = false;
    bool m_closing = false;
};
