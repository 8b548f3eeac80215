// Times as the display shows them: whole minutes and seconds, "mm:ss". Minutes are not cut at
// the hour (75 minutes shows 75:00).
#pragma once

#include <QString>

#include <cstdint>

namespace pt4 {

QString TimeText(uint32_t ms);

} // namespace pt4
