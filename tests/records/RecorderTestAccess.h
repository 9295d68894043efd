#pragma once
// What the tests read of a recorder that its callers never need: how many records wait.

#include "records/Recorder.h"

#include <cstddef>

namespace vantrel::records {

struct RecorderTestAccess {
    static std::size_t PendingCountOf(const Recorder& recorder) { return recorder.m_pending.size(); }
};

}  // namespace vantrel::records
