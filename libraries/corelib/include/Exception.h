#pragma once
// Errors of the library and the program.
//
// An exception carries a message template, the values for its "%" placeholders, the places
// where it was raised and passed on (source tags) and the exceptions it wraps. A template is a
// run of items "@" identifier "{" text "};"; the identifier is for machines, the text for users:
//
//   class ConfFile : public Throws {
//    public:
//     KESTRO_EXCEPTION(Load_FileNotFound);
//   };
//   ParamStream p;
//   p << fileName;
//   throw ConfFile::Load_FileNotFound(
//       "@conf-file.load.file-not-found{Configuration file \"%\" was not found};",
//       KESTRO_SOURCE_TAG, p);
//   // getText() == "Load_FileNotFound: Configuration file \"x.kconf\" was not found"
//
// To wrap an error caught from a lower layer: throw Outer(KESTRO_SOURCE_TAG, caught);
// To mark a layer that lets an error pass: catch it by reference, call
// e.addSourceTag(KESTRO_SOURCE_TAG) and rethrow with "throw;" (which keeps the derived class;
// "throw e;" would throw a copy of the static type).
#include <string>
#include <utility>
#include <vector>

#include "ParamStream.h"

// The source tag of the place where it is written: base name of the source file and line.
#define KESTRO_SOURCE_TAG ::KestroCorelib::Exception::makeSourceTag(__FILE__, __LINE__)

// Declares the error class Name, derived from Exception, with every constructor of Exception
// and the name text "Name". Meant to be written inside the class that raises it.
#define KESTRO_EXCEPTION(Name)                                                                \
  class Name : public ::KestroCorelib::Exception {                                            \
   public:                                                                                    \
    template <typename... Args>                                                               \
    explicit Name(Args&&... args) : ::KestroCorelib::Exception(std::forward<Args>(args)...) { \
      setName(#Name);                                                                         \
    }                                                                                         \
  }

namespace KestroCorelib {

// The one template of every *_OutOfMemory error of the library.
inline constexpr char outOfMemoryMessage[] = "@out-of-memory{Out of memory};";

// An empty marker base of classes that raise exceptions.
class Throws {
 public:
  virtual ~Throws() = default;
};

class Exception {
 public:
  // Every constructor names the exception "Exception"; derived classes rename it.
  Exception();
  explicit Exception(const std::string& message);
  Exception(const std::string& message, const std::string& sourceTag);
  Exception(const std::string& message, const ParamStream& parameters);
  Exception(const std::string& message, const std::string& sourceTag,
            const ParamStream& parameters);
  // Wide messages, used when the narrow one is empty.
  explicit Exception(const std::wstring& message);
  Exception(const std::wstring& message, const std::string& sourceTag);
  Exception(const std::wstring& message, const ParamStream& parameters);
  Exception(const std::wstring& message, const std::string& sourceTag,
            const ParamStream& parameters);
  // Wraps a copy of an exception caught from a lower layer; the message stays empty.
  Exception(const std::string& sourceTag, const Exception& wrapped);

  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;
  Exception(Exception&&) = default;
  Exception& operator=(Exception&&) = default;
  virtual ~Exception() = default;

  // " @logsrc{file=\"Base.cpp\" line=42};" where Base.cpp is the part of path after its last
  // '\' or '/'.
  static std::string makeSourceTag(const char* path, int line);

  // Appends a tag; the tags read from the raise site outwards.
  void addSourceTag(const std::string& sourceTag);
  // Appends a wrapped exception (a copy) after those already held.
  void addNested(const Exception& nested);

  // The text a user reads: name and ':' (withName), one blank and the filled message text
  // (when there is a message), then for each wrapped exception "\n" and its text with name.
  //   Exception("@a{value %};", p).getText(false) == " value 5"   (p holds 5)
  std::string getText(bool withName = true) const;
  std::wstring getTextW(bool withName = true) const;

  const std::string& getName() const { return name; }
  const std::string& getMessage() const { return message; }
  const std::wstring& getMessageW() const { return messageW; }
  const ParamStream& getParameters() const { return parameters; }
  const std::vector<std::string>& getSourceTags() const { return sourceTags; }
  const std::vector<Exception>& getNested() const { return nested; }

  // The user text of a template: identifiers, '@', '{' and the closing "};" removed.
  //   scanTemplate("@a{x};@b{y};") == "xy"; scanTemplate("@a{x}y};") == "x}y"
  static std::string scanTemplate(const std::string& messageTemplate);
  static std::wstring scanTemplate(const std::wstring& messageTemplate);

 protected:
  void setName(const std::string& newName) { name = newName; }

 private:
  std::string name;
  std::string message;
  std::wstring messageW;
  ParamStream parameters;
  std::vector<std::string> sourceTags;
  std::vector<Exception> nested;
};

}  // namespace KestroCorelib
