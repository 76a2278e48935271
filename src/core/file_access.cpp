#include "core/file_access.h"

#include <irrlicht.h>

#include <cctype>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.h"
#include "platform/directory.h"
#include "platform/file.h"

namespace {

using irr::core::stringc;
using irr::io::IFileSystem;

// The engine's file system is not documented as thread-safe: every call into
// it holds this lock (see FileSystemAccess). Open files are each used by one
// thread. Re-entrant, so that a holder may call the functions here.
std::recursive_mutex& accessLock() {
  static std::recursive_mutex lock;
  return lock;
}

IFileSystem* currentFileSystem = nullptr;

// Lets go of the file system at exit.
struct FileSystemHolder {
  ~FileSystemHolder() {
    if (currentFileSystem != nullptr)
      currentFileSystem->drop();
    currentFileSystem = nullptr;
  }
};
FileSystemHolder holder;

// A null-driver device supplies the file system; the device itself is let go.
IFileSystem* createHeadlessFileSystem() {
  irr::SIrrlichtCreationParameters parameters;
  parameters.DriverType = irr::video::EDT_NULL;
  parameters.WindowSize = irr::core::dimension2d<irr::u32>(640, 480);
  parameters.Bits = 16;
  parameters.LoggingLevel = irr::ELL_NONE;
  irr::IrrlichtDevice* device = irr::createDeviceEx(parameters);
  if (device == nullptr)
    return nullptr;
  IFileSystem* files = device->getFileSystem();
  if (files != nullptr)
    files->grab();
  device->drop();
  return files;
}

IFileSystem* lockedFileSystem() {
  if (currentFileSystem == nullptr)
    currentFileSystem = createHeadlessFileSystem();
  return currentFileSystem;
}

enum class Located { Found, Missing, Refused };

// Whether the real file behind a name is one to open: a regular file. A pipe
// or device is refused (it would block the engine's open or feed it endless
// bytes); a folder, or a path that leads nowhere, is missing.
Located checkReal(const stringc& realPath) {
  const int status = plat::checkRegularFile(realPath.c_str());
  if (status == 0)
    return Located::Found;
  return status == plat::kErrorNotRegularFile ? Located::Refused : Located::Missing;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The path on the disk of `relative`, a name as a mounted folder lists it,
// under the folder `folder`. The list may hold the name in lower case: a
// level that does not exist as written is matched ignoring case. Empty when
// no such path exists.
stringc realPathIn(const stringc& folder, const stringc& relative) {
  std::string real = folder.c_str();
  if (!real.empty() && real.back() != '/')
    real += '/';
  const std::string exact = real + relative.c_str();
  if (plat::checkRegularFile(exact) != ENOENT)
    return exact.c_str();
  const std::string rest = relative.c_str();
  for (std::size_t begin = 0; begin <= rest.size();) {
    std::size_t end = rest.find('/', begin);
    if (end == std::string::npos)
      end = rest.size();
    const std::string level = rest.substr(begin, end - begin);
    std::vector<plat::DirectoryEntry> entries;
    if (!plat::listDirectory(real.empty() ? "." : real, entries))
      return stringc();
    const plat::DirectoryEntry* match = nullptr;
    for (const plat::DirectoryEntry& entry : entries) {
      if (entry.name == level) {
        match = &entry;
        break;
      }
      if (match == nullptr && equalIgnoringCase(entry.name, level))
        match = &entry;
    }
    if (match == nullptr)
      return stringc();
    real += match->name;
    if (end == rest.size())
      break;
    real += '/';
    begin = end + 1;
  }
  return real.c_str();
}

// Finds the name under which `path` opens. Archive entries come first, then
// plain paths, then files written into a mounted folder after it was listed.
// A name that leads to something other than a regular file is refused
// (`openName` then holds the real path).
Located locate(IFileSystem* files, const stringc& path, stringc& openName) {
  if (files == nullptr || path.empty())
    return Located::Missing;
  const irr::u32 archives = files->getFileArchiveCount();
  for (irr::u32 i = 0; i < archives; ++i) {
    irr::io::IFileArchive* archive = files->getFileArchive(i);
    const irr::io::IFileList* list = archive->getFileList();
    const irr::s32 index = list->findFile(path, false);
    if (index < 0)
      continue;
    if (archive->getType() == irr::io::EFAT_FOLDER) {
      // The real file is under the folder's path by the listed name. (A
      // folder mounted without its paths lists bare names whose real file
      // cannot be found again: those count as missing there.) The real path
      // is what gets opened, so the file checked is the one read.
      const stringc real = realPathIn(list->getPath(), list->getFullFileName(static_cast<irr::u32>(index)));
      const Located found = real.empty() ? Located::Missing : checkReal(real);
      if (found == Located::Missing)
        continue;
      openName = real;
      return found;
    }
    openName = path;
    return Located::Found;
  }
  const Located plain = checkReal(path);
  if (plain != Located::Missing) {
    openName = path;
    return plain;
  }
  if (path[0] == '/')
    return Located::Missing;
  for (irr::u32 i = 0; i < archives; ++i) {
    irr::io::IFileArchive* archive = files->getFileArchive(i);
    if (archive->getType() != irr::io::EFAT_FOLDER)
      continue;
    stringc candidate = archive->getFileList()->getPath();
    if (!candidate.empty() && candidate.lastChar() != '/')
      candidate += '/';
    candidate += path;
    const Located found = checkReal(candidate);
    if (found != Located::Missing) {
      openName = candidate;
      return found;
    }
  }
  return Located::Missing;
}

}  // namespace

void setFileSystem(IFileSystem* fileSystem) {
  std::lock_guard<std::recursive_mutex> guard(accessLock());
  if (fileSystem != nullptr)
    fileSystem->grab();
  if (currentFileSystem != nullptr)
    currentFileSystem->drop();
  currentFileSystem = fileSystem;
}

IFileSystem* fileSystem() {
  std::lock_guard<std::recursive_mutex> guard(accessLock());
  return lockedFileSystem();
}

FileSystemAccess::FileSystemAccess() {
  accessLock().lock();
  files_ = lockedFileSystem();
}

FileSystemAccess::~FileSystemAccess() { accessLock().unlock(); }

bool fileExists(const stringc& path) {
  std::lock_guard<std::recursive_mutex> guard(accessLock());
  stringc openName;
  return locate(lockedFileSystem(), path, openName) == Located::Found;
}

bool InputFile::open(const stringc& path) {
  close();
  std::lock_guard<std::recursive_mutex> guard(accessLock());
  IFileSystem* files = lockedFileSystem();
  stringc openName;
  switch (locate(files, path, openName)) {
    case Located::Missing:
      return false;
    case Located::Refused:
      logError("Could not open the data file \"%s\": %s\n", openName.c_str(),
               plat::errorText(plat::kErrorNotRegularFile).c_str());
      return false;
    case Located::Found:
      break;
  }
  file_ = files->createAndOpenFile(openName);
  if (file_ != nullptr && file_->getSize() < 0)
    close();
  if (file_ != nullptr && static_cast<unsigned long>(file_->getSize()) > kMaxDataFileBytes) {
    logError("Could not open the data file \"%s\": larger than %lu bytes\n", openName.c_str(), kMaxDataFileBytes);
    close();
  }
  return file_ != nullptr;
}

irr::io::IReadFile* openEngineFile(const stringc& path) {
  std::lock_guard<std::recursive_mutex> guard(accessLock());
  IFileSystem* files = lockedFileSystem();
  stringc openName;
  if (locate(files, path, openName) != Located::Found)
    return nullptr;
  irr::io::IReadFile* file = files->createAndOpenFile(openName);
  if (file != nullptr && file->getSize() < 0) {
    file->drop();
    file = nullptr;
  }
  return file;
}

long InputFile::size() const { return file_ != nullptr ? file_->getSize() : 0; }

unsigned InputFile::read(void* buffer, unsigned bytes) {
  if (file_ == nullptr || bytes == 0)
    return 0;
  const irr::s32 got = file_->read(buffer, bytes);
  return got > 0 ? static_cast<unsigned>(got) : 0;
}

bool InputFile::seek(long position) { return file_ != nullptr && file_->seek(position, false); }

void InputFile::close() {
  if (file_ != nullptr)
    file_->drop();
  file_ = nullptr;
}

bool readWholeFile(const irr::core::stringc& path, std::string& bytes) {
  InputFile file;
  if (!file.open(path))
    return false;
  // The file may grow while it is read: the limit holds for what is read.
  const std::size_t start = bytes.size();
  char chunk[4096];
  for (unsigned got; (got = file.read(chunk, sizeof chunk)) > 0;) {
    if (bytes.size() - start + got > kMaxDataFileBytes) {
      logError("Could not read the data file \"%s\": larger than %lu bytes\n", path.c_str(), kMaxDataFileBytes);
      bytes.resize(start);
      return false;
    }
    bytes.append(chunk, got);
  }
  return true;
}
