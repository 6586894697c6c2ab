// One management-server endpoint, parsed from its text form protocol://host:port.
#ifndef KELVORY_INSTALLER_COMMON_KLENDPOINT_H_
#define KELVORY_INSTALLER_COMMON_KLENDPOINT_H_

#include <cstdint>
#include <string>

/// The protocol of an endpoint text without "//", and every endpoint's starting protocol.
extern const char DEFAULT_ENDPOINT_PROTOCOL[];

class KLEndPoint {
 public:
  /// Parses `text` at once (see ParseEndPoint). Bad input never throws: read `isValid`, and
  /// `errorMessage` when it is false.
  explicit KLEndPoint(const std::string& text);

  /// A valid source is copied whole. An invalid source gives an invalid copy carrying only
  /// its `errorMessage`: empty `protocol` and `host`, `port` 0.
  KLEndPoint(const KLEndPoint& other);

  /// A valid source sets `isValid`, `protocol`, `host` and `port`; an invalid one clears
  /// `isValid` and leaves the target's own protocol, host and port. Either way the target then
  /// takes the source's `errorMessage`.
  KLEndPoint& operator=(const KLEndPoint& other);

  virtual ~KLEndPoint();

  /// Equal when `host`, `protocol` and `port` are byte-for-byte equal; `isValid` and
  /// `errorMessage` are not compared.
  bool operator==(const KLEndPoint& other) const;
  bool operator!=(const KLEndPoint& other) const { return !(*this == other); }

  /// The parse. Only sets `isValid` to true and only appends to `errorMessage`, so it is
  /// meaningful only on a freshly constructed endpoint; the constructor is its one caller.
  /// An empty text is a valid endpoint with the starting values. The scheme is what precedes
  /// "//" less its last character, trimmed and lower-cased, and must be http or https; the
  /// host runs to the first ':' after it and must be a dotted quad or resolve; the port text
  /// after that ':' must be digits with a non-zero value (80 / 443 when there is no ':').
  void ParseEndPoint(const std::string& text);

  std::string protocol;
  std::string host;
  int32_t port;
  std::string errorMessage;  ///< every fault found, in order, each ending in a line feed
  bool isValid;
};

#endif  // KELVORY_INSTALLER_COMMON_KLENDPOINT_H_
