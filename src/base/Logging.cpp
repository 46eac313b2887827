#include "base/Logging.h"

namespace brevant {

Q_LOGGING_CATEGORY(lcSettings, "brevant.settings")
Q_LOGGING_CATEGORY(lcLink, "brevant.link")
Q_LOGGING_CATEGORY(lcMonitor, "brevant.monitor")
Q_LOGGING_CATEGORY(lcRecords, "brevant.records")
Q_LOGGING_CATEGORY(lcShutdown, "brevant.shutdown")
Q_LOGGING_CATEGORY(lcEngine, "brevant.engine")
Q_LOGGING_CATEGORY(lcPlatform, "brevant.platform")
Q_LOGGING_CATEGORY(lcUi, "brevant.ui")
Q_LOGGING_CATEGORY(lcArt, "brevant.art")

} // namespace brevant
