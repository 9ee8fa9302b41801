#pragma once
// Plain string routines of the HTTP client: splitting URLs and resolving relative ones, naming the
// received document, Base64 and uuencode for authorisation, and the RFC 1123 date of If-Modified-Since.
// Character positions in results are 1-based, as the callers count them.
#include <string>

#include "platform/DateTime.h"

namespace net {

enum THttpEncoding { encUUEncode, encBase64, encMime };

// Position of the count-th occurrence of s in t. count < 0 counts from the end (-1 is the last) and
// gives 0 when there are fewer; count > 0 gives length(t) + 1 or more when there are fewer (callers
// test for a value beyond the length); count 0 gives 0.
int Posn(const std::string& s, const std::string& t, int count);

// Splits url into its parts; every output is emptied first. On entry path holds the current document
// path, against which "./x" and "../x" are resolved (then only path is set).
void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path);

// "setup.exe" + "htm" gives "setup.htm"; "readme" + "htm" gives "readme.htm".
void ReplaceExt(std::string& fileName, const std::string& newExt);

// Base64 (encBase64 and encMime alike: standard alphabet, "=" padding, no line breaks), or one
// uuencoded line without its line end (encUUEncode).
std::string EncodeLine(THttpEncoding encoding, const char* data, int size);
std::string EncodeStr(THttpEncoding encoding, const std::string& value);

// "Sun, 06 Dec 2026 11:20:05": no zone conversion, the caller names the zone.
std::string RFC1123_Date(platform::TDateTime date);

// Percent-encodes every byte except the unreserved characters A-Z a-z 0-9 - _ . ~ (form fields and
// query values; unreserved text comes out unchanged).
std::string UrlEncode(const std::string& text);

// A request path fit for the request line: blanks and control bytes (0x00-0x20, 0x7F) as "%XX".
std::string EscapePathBlanks(const std::string& path);

} // namespace net
