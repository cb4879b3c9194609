#include "widgets/settings.h"

namespace widgets {

QSettings OpenSettings() {
    return QSettings(QString::fromLatin1(kSettingsOrganization),
                     QString::fromLatin1(kSettingsApplication));
}

}  // namespace widgets
