#pragma once
// Parameter numbers and names of the editor.
//
// Every parameter has a fixed number 0..9288. A per-part parameter owns a block of 16 consecutive
// numbers (base + part); the constant names the base. The numbers are what the state chunk stores
// in number order and what the interface description reaches through the names, so they never
// change. The list itself lives in ParamNameList.h; this header turns it into constants, a static
// table and the name registry that the UI configuration fills while the window is built.
//
// Threads: the constants and the static table are immutable. A ParamNameRegistry is filled on the
// thread that constructs the plug-in and afterwards only read; its lookups never insert, so other
// threads may read it once it is filled.

#include <cstddef>
#include <functional>
#include <map>
#include <string>

enum EParams : int {
#define SORVANTA_PARAM_BLOCK(name, base) name = base,
#define SORVANTA_PARAM_SINGLE(name, number) name = number,
#include "ParamNameList.h"
#undef SORVANTA_PARAM_BLOCK
#undef SORVANTA_PARAM_SINGLE

  // Counts, not parameters. Both are registered as names too (the interface description may use
  // them), so they resolve to 1648 (shared with kPatchFileDialog) and 7641 (part 6 of kCategoryName).
  kNumAutomatedParams = 1648,
  kNumNonAutomatedParams = 7641,
};

// Every number 0..kNumParams-1 is a parameter of the framework, named or not.
constexpr int kNumParams = 9289;
constexpr int kNumParts = 16;
// Parameters from here on are the editor's own controls; they are never part of the stored state.
constexpr int kFirstUnstoredParam = kTriggerProgControl;

inline bool isValidParamNumber(int number) { return number >= 0 && number < kNumParams; }

// The parameter of `part` (0..15) in the block that starts at `base`. The one place where a part
// index meets a block base; callers holding a one-based part (the UI shows "Part 1".."Part 16")
// convert with partFromOneBased first.
inline int paramOfPart(int base, int part) { return base + part; }
inline int partFromOneBased(int shownPart) { return shownPart - 1; }
inline int partToOneBased(int part) { return part + 1; }

// One row of the static name table.
struct ParamNameEntry {
  const char* name;
  int number;     // the block base, the single's number, or the count's value
  int blockSize;  // 16 for a per-part block, 1 for a single, 0 for a count name
};

// The 707 registered names (705 parameters and the two counts), parameters ascending by number,
// the counts last.
const ParamNameEntry* paramNameTable();
std::size_t paramNameTableSize();

// The parameter entry whose block or single covers `number`, or null for an unnamed number or one
// outside 0..9288. Count names are never returned. When `part` is given it receives
// number - base (0 for a single, -1 when nothing is found).
const ParamNameEntry* findParamByNumber(int number, int* part = nullptr);

// Readable name of a number: "kFilter1Cutoff+3" for part 3 of a block, the plain name for a
// single or part 0, "" for an unnamed or invalid number.
std::string paramNameForNumber(int number);

// The UI configuration manager's name registry: name -> number, compared bytewise and
// case-sensitively. Filled once by initParams before the interface description is read.
class ParamNameRegistry {
 public:
  // Receives diagnostics ("CONFIG READER: ..."), the debug log of the editor core. Empty: logging
  // is off and nothing is written.
  using LogSink = std::function<void(const std::string&)>;

  void setLog(LogSink sink) { log_ = std::move(sink); }

  // Registers every name of the table. Runs once per manager.
  void initParams();

  // Registers `name`; a name already present keeps its first number and is reported.
  void mapParamToString(const std::string& name, int number);

  // The number registered for `name`, or -1 (reported). Never changes the registry.
  int getParamByName(const std::string& name) const;

  // Group text for a parameter: "Part <part+1>[:name]" for part >= 0, else the name. The text is
  // held in this registry and stays valid until the next call that changes it. A result longer
  // than the parameter's group field (54 characters) is cut there.
  const char* getParamGroup(int part, const std::string& name);

  // The "biDirectLink" attribute: two parameter names separated by ",". With at least two names
  // writes {first + part, second + part, -1} (part added only when 0 or more) into link[0..2];
  // otherwise leaves link untouched. A name that is not registered gives -1 in its field, never
  // a number moved by the part.
  void getBiDirectLinkValues(const std::string& attribute, int* link, int part) const;

  std::size_t size() const { return paramNameMap_.size(); }

  static constexpr std::size_t kMaxGroupLength = 54;

 private:
  void log(const std::string& text) const {
    if (log_) log_(text);
  }

  std::map<std::string, int> paramNameMap_;
  std::string groupName_;
  LogSink log_;
};
