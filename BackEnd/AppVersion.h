#pragma once

// The launcher's own version; versions are compared only for textual equality.
inline constexpr char kLauncherVersion[] = "2.1.0.1";
