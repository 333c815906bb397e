#include "app/Resources.h"

#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE names a global function, so it cannot be expanded inside a namespace.
static void registerResourceData() {
    Q_INIT_RESOURCE(resources);
}

namespace qbk {

void loadResources() {
    static std::once_flag once;
    std::call_once(once, registerResourceData);
}

} // namespace qbk
