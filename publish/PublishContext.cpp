#include "publish/PublishContext.h"

namespace publish {

void TPublishContext::Log(const std::string& text) {
    Station.LogStatus(text);
}

void TPublishContext::LogOnce(const std::string& text) {
    if (text.empty() || !told_.insert(text).second) return;
    Station.LogStatus(text);
}

std::string TPublishContext::Build() const {
    return Station.VersionText();
}

} // namespace publish
