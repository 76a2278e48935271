#include "core/file_access.h"

#include <irrlicht.h>

#include <mutex>

#include "platform/directory.h"

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

// Finds the name under which `path` opens. Archive entries come first, then
// plain paths, then files written into a mounted folder after it was listed.
bool locate(IFileSystem* files, const stringc& path, stringc& openName) {
  if (files == nullptr || path.empty())
    return false;
  const irr::u32 archives = files->getFileArchiveCount();
  for (irr::u32 i = 0; i < archives; ++i) {
    if (files->getFileArchive(i)->getFileList()->findFile(path, false) >= 0) {
      openName = path;
      return true;
    }
  }
  if (plat::isRegularFile(path.c_str())) {
    openName = path;
    return true;
  }
  if (path[0] == '/')
    return false;
  for (irr::u32 i = 0; i < archives; ++i) {
    irr::io::IFileArchive* archive = files->getFileArchive(i);
    if (archive->getType() != irr::io::EFAT_FOLDER)
      continue;
    stringc candidate = archive->getFileList()->getPath();
    if (!candidate.empty() && candidate.lastChar() != '/')
      candidate += '/';
    candidate += path;
    if (plat::isRegularFile(candidate.c_str())) {
      openName = candidate;
      return true;
    }
  }
  return false;
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
  return locate(lockedFileSystem(), path, openName);
}

bool InputFile::open(const stringc& path) {
  close();
  std::lock_guard<std::recursive_mutex> guard(accessLock());
  IFileSystem* files = lockedFileSystem();
  stringc openName;
  if (!locate(files, path, openName))
    return false;
  file_ = files->createAndOpenFile(openName);
  if (file_ != nullptr && file_->getSize() < 0)
    close();
  return file_ != nullptr;
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
  char chunk[4096];
  for (unsigned got; (got = file.read(chunk, sizeof chunk)) > 0;)
    bytes.append(chunk, got);
  return true;
}
