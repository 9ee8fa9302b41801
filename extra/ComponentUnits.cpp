#include "extra/ComponentUnits.h"

#include "components/VCLUtils.h"
#include "extra/ClipIcon.h"
#include "extra/Provcl.h"

namespace extra {

void StartComponentUnits() {
    RegisterIconClipboardFormat();
    components::RegisterRxCursors();
    RegisterProCursors();
}

} // namespace extra
