#include "platform/Platform.h"

namespace platform {

RealPlatform::RealPlatform()
    : platform_{messages_, settings_, process_, files_, folderDialogs_, spreadsheets_,
                [](QWidget* widget) { return std::make_unique<QtWindow>(widget); }} {}

}  // namespace platform
