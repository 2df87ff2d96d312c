// The text rules of the HTML gallery pages: escaping text for an ISO 8859-1 page, URL
// encoding of image references, and the sanitising of image file names.
//
// File names on this system are UTF-8 bytes, while a page is ISO 8859-1 and its rules
// work byte by byte on that character set. A name is therefore read as characters first:
// a well-formed UTF-8 sequence is one character; any byte that does not start one (a name
// written in a legacy 8-bit encoding) is taken as the ISO 8859-1 character of that byte.
// Characters up to 255 then meet the byte rules as their ISO 8859-1 byte; the rest have no
// byte there and are handled as each function says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mirel::html {

// Text for captions, alt texts and the heading. Per ISO 8859-1 character:
//   '"' &quot;  '&' &amp;  '<' &lt;  '>' &gt;
//   123..159 "&#" and three decimal digits, so '{' is &#123;
//   160..255 the HTML 4 named entity, &nbsp; to &yuml;
//   anything else itself.
// A character beyond ISO 8859-1 becomes its decimal numeric reference (&#28023;), which
// every browser shows as that character whatever the page's character set.
std::string escapeText(std::string_view utf8);

// URL encoding of a byte string for an image reference: A-Z, a-z and 0-9 stay, every other
// byte becomes '%' and two lower-case hex digits (a blank is %20). UTF-8 bytes are encoded
// one by one, which browsers decode back to the same file name.
std::string urlEncode(std::string_view bytes);

// The sanitising rule for one ISO 8859-1 byte: below 32 a blank; 128 or more becomes its
// low 7 bits plus 32, or '_' when that would be '.' (low 7 bits 14); then '/', ':' and
// '\' become '_'. The result can still lie in 128..159.
std::uint8_t sanitiseByte(std::uint8_t byte);

// The file name under which an image is written and referenced, from a name in UTF-8.
// Each ISO 8859-1 character goes through sanitiseByte; a result in 127..159 (the delete
// code and the C1 control codes, which are no characters and cannot stand alone in a UTF-8
// name) becomes '_'. Characters beyond ISO 8859-1 keep their UTF-8 bytes: they are valid
// in a file name and the reference reaches them through urlEncode. So "Sea 1" stays
// "Sea 1", "a:b" becomes "a_b", "Café" becomes "Caf_" and a name in Japanese stays as is.
std::string sanitiseFileName(std::string_view utf8);

}  // namespace mirel::html
