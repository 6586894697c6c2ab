// Conversions between the platform's text objects and the byte strings of the portable code.
// Every crossing between the two worlds goes through here.
#ifndef KELVORY_INSTALLER_BRIDGE_KLSTRINGBRIDGE_H_
#define KELVORY_INSTALLER_BRIDGE_KLSTRINGBRIDGE_H_

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

/// The UTF-8 bytes of `text`; the empty string for nil.
inline std::string KLStdString(NSString* text) {
  if (text == nil) return std::string();
  const char* bytes = [text UTF8String];
  return bytes != NULL ? std::string(bytes) : std::string();
}

/// A new autoreleased string from UTF-8 bytes; nil when they are not valid UTF-8.
inline NSString* KLNSString(const std::string& bytes) {
  return [[[NSString alloc] initWithBytes:bytes.data()
                                   length:bytes.size()
                                 encoding:NSUTF8StringEncoding] autorelease];
}

/// Copies `text` as ASCII into a zero-filled buffer of `bufferSize` bytes, keeping at most
/// bufferSize - 1 bytes, as the panes' fixed buffers do. False, with `out` empty, when the text
/// has characters outside ASCII (converting those would raise on GNUstep).
inline bool KLCopyASCII(NSString* text, size_t bufferSize, std::string* out) {
  out->clear();
  if (text == nil) return true;
  if (![text canBeConvertedToEncoding:NSASCIIStringEncoding]) return false;
  NSData* data = [text dataUsingEncoding:NSASCIIStringEncoding allowLossyConversion:NO];
  if (data == nil) return false;
  const size_t length = [data length] < bufferSize - 1 ? [data length] : bufferSize - 1;
  out->assign(static_cast<const char*>([data bytes]), length);
  // A NUL inside the text ends it, as it would in the C buffer.
  out->resize(strnlen(out->c_str(), length));
  return true;
}

/// Copies `text` as UTF-8 keeping at most bufferSize - 1 bytes, cut back to the start of a
/// character so that the result never ends in half of one.
inline std::string KLCopyUTF8(NSString* text, size_t bufferSize) {
  std::string bytes = KLStdString(text);
  if (bytes.size() > bufferSize - 1) {
    size_t cut = bufferSize - 1;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.resize(cut);
  }
  bytes.resize(strnlen(bytes.c_str(), bytes.size()));
  return bytes;
}

#endif  // KELVORY_INSTALLER_BRIDGE_KLSTRINGBRIDGE_H_
