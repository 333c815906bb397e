#include "launch/TransferWatch.h"

namespace qbk {

// Out of line, so the vtable lives in one object file.
TransferWatch::~TransferWatch() = default;

} // namespace qbk
