// Names and labels of the writer's reports, shared by the streaming writer
// and the whole-record writer above it.
#pragma once

#include <string_view>

namespace gifjoin {

inline constexpr std::string_view kWriterRoutine = "RasterImageModule::writeGIFImage";
inline constexpr std::string_view kWriterOpenRoutine = "GIFImageModule::WriteGIFImage";
inline constexpr std::string_view kTransparentColorLabel = "Transparent color: ";

}  // namespace gifjoin
