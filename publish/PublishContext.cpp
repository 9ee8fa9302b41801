#include "publish/PublishContext.h"

#include "publish/PageFormats.h"
#include "station/Unit1.h"

namespace publish {

void TPublishContext::Log(const std::string& text) {
    Form.LogStatus(text);
}

void TPublishContext::LogOnce(const std::string& text) {
    if (text.empty() || !told_.insert(text).second) return;
    Form.LogStatus(text);
}

std::string TPublishContext::Build() const {
    return BuildText(Form);
}

} // namespace publish
