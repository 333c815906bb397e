#pragma once
#include "launch/TransferWatch.h"
namespace qbk::test {
// A watch that never stops a run and ignores every report; a suite overrides only what it
// looks at.
struct QuietWatch : TransferWatch {
    bool stopRequested() const override { return false; }
    void received(std::int64_t, std::int64_t) override {}
    void beginDownloads(const std::wstring&, std::int64_t, int) override {}
    void beginStep(const std::wstring&, int) override {}
};
} // namespace qbk::test
