#pragma once

#include "gatewaylist/batch.h"

// The window's side of a batch, for tests that only look at the list and the report.
class QuietView final : public BatchView {
public:
    void repaintList() override {}
    void setBusy(bool) override {}
    void showClosingNotice() override {}
};
