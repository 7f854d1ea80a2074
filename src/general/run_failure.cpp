#include "general/run_failure.h"

namespace gifjoin {

std::string failureText(const RunResult& result) {
  switch (result.failure) {
    case Failure::CannotHoldImage:
      return std::string(kCannotHoldImage);
    case Failure::NoColourMap:
      return std::string(kNoColormapMessage);
    case Failure::NoFreeUnit:
      return std::string(kNoUnitMessage);
    case Failure::WriteFailed:
      return std::string(kWriteFailedText) + result.fileName + ": " + result.reason;
    case Failure::None:
    case Failure::OpenFailed:
    case Failure::NotFitting:
      break;
  }
  return {};
}

}  // namespace gifjoin
