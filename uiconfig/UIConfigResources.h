#pragma once
// Finding, reading and deciphering the two enciphered resources of the plug-in bundle: the
// interface description "resources/uiconfig.tea" and the SysEx value lists "resources/sysex.tea".
//
// A resource is found in the bundle's resources folder by the last component of its name
// ("resources/uiconfig.tea" -> "<resources folder>/uiconfig.tea"), read whole up to
// kMaxResourceBytes and deciphered block by block (8-byte blocks, each on its own, no header, no
// length field). The plain text is the XML document followed by the zero bytes that filled its
// last block; an XML parser reading up to the first NUL sees exactly the document.
//
// Resources are hostile until read: a missing, empty, unreadable, over-long or partly-blocked file
// is reported through the log sink with a "CONFIG READER: " line and the caller gets whatever
// deciphered whole blocks there are (possibly nothing). Nothing is ever read or deciphered past
// the bytes actually in the file.
//
// No state. Runs on the thread that builds the interface (the one that constructs the plug-in).

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class UIConfigResources {
 public:
  UIConfigResources() = delete;

  // The file loader's buffer size: larger resources are cut here (a multiple of 8, so the cut
  // never leaves a partial block).
  static constexpr std::size_t kMaxResourceBytes = 4096000;
  static constexpr int kUIConfigResourceId = 100;
  static constexpr int kSysExResourceId = 101;
  static constexpr const char* kUIConfigResource = "resources/uiconfig.tea";
  static constexpr const char* kSysExResource = "resources/sysex.tea";

  using LogSink = std::function<void(const std::string&)>;

  enum class ReadStatus {
    kOk,          // the whole file was read
    kMissing,     // no such file
    kUnreadable,  // exists but is not a regular file or cannot be opened or read
    kEmpty,       // zero bytes
    kTruncated,   // longer than kMaxResourceBytes: the first kMaxResourceBytes were read
  };

  // "resources/uiconfig.tea" -> "uiconfig.tea"; "" when the name has no last component.
  static std::string resourceFileName(const std::string& name);

  // Path of the resource in the resources folder ("" for a name without a file part). Does not
  // check that the file exists.
  static std::string resourcePath(const std::string& resourcesDir, const std::string& name);

  // Reads at most kMaxResourceBytes of a regular file into `out` (replacing its contents). `out`
  // holds exactly the bytes read: no zero tail is implied.
  static ReadStatus readResource(const std::string& path, std::vector<unsigned char>& out);

  // Deciphers every whole 8-byte block of data[0..length) with the program's key and appends the
  // plain bytes to `out` (8 per block, padding included). A trailing partial block cannot be a
  // block the encipher wrote and is not deciphered. Returns the number of trailing bytes left out
  // (0..7); nothing happens for length < 1.
  static std::size_t decrypt(const char* data, int length, std::string& out);

  // Locates, reads and deciphers resource `name` into `text` (replacing it). Returns true when a
  // complete, non-empty resource was deciphered; false otherwise, after a "CONFIG READER: " line
  // to `log`, with `text` holding whatever whole blocks could be deciphered.
  static bool loadResource(const std::string& resourcesDir, const std::string& name,
                           std::string& text, const LogSink& log);
};
