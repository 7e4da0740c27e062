#pragma once

namespace vuvedid {

constexpr const char* kAppTitle = "Vuvedid";
constexpr const char* kVersion = "1.1.104.39";
constexpr const char* kVersionCaption = "Vuvedid_m_1.1.104.39";

}  // namespace vuvedid
