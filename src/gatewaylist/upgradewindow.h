#pragma once

#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/upgrademode.h"

#include <QDialog>

struct Services;

class UpgradeWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpgradeWindow)

public:
    UpgradeWindow(Services& services, UpgradeOptions options, QWidget* parent = nullptr);

    const GatewayList& list() const { return m_list; }

private:
    Services& m_services;
    UpgradeOptions m_options;
    GatewayList m_list;
};
