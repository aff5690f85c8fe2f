// Turns a URL as the program stores it (literal spaces and all) into one that can
// be sent: bytes that cannot stand in a URL are percent-encoded, the rest is kept.
#pragma once

#include <string>
#include <string_view>

// Percent-encodes control bytes, space, bytes above 127 and " # < > \ ^ ` { | },
// and a '%' that does not start a %XX sequence; existing %XX sequences stay as
// they are, so an already encoded URL is sent unchanged.
std::string EscapeUrlForWire(std::string_view url);

// True when the URL starts with "http://" or "https://" (scheme in any case).
bool IsHttpUrl(std::string_view url);
