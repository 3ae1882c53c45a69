#pragma once
// A file written under a hidden name beside its final one and given its final
// name only when it is complete, without ever replacing a file: the outputs of
// joins and conversions, downloads, thumbnails. While it exists the hidden
// file is in the partial-file registry, so a program ended by a signal
// removes it too. Used by one thread at a time.
#include <sys/types.h>

#include <string>
#include <string_view>

class THiddenFile {
public:
    THiddenFile() = default;
    // Removes the hidden file unless it was committed.
    ~THiddenFile();
    THiddenFile(const THiddenFile&) = delete;
    THiddenFile& operator=(const THiddenFile&) = delete;

    // Creates a new empty file ".NAME.part-XXXXXX" (X random) in the folder of
    // finalPath, NAME being the final name cut to fit. Never opens an existing
    // name or follows a link. False with errno set.
    bool Create(const std::string& finalPath);
    // The hidden file's path; empty when none exists.
    const std::string& Path() const { return path_; }

    // Moves the file to folder + base + extension, or when that name is taken
    // to the first free name with "(n)" before the extension (cut to the
    // longest file name), never replacing a file. Returns the path it got;
    // empty with errno set when it could not be moved (the file stays hidden).
    std::string Commit(std::string_view folder, std::string_view base, std::string_view extension);
    // The same for the final path given to Create.
    std::string Commit();
    // Removes the hidden file now.
    void Discard();

private:
    std::string path_;
    std::string final_;
    int slot_ = -1;
};

// The process's file-creation mask, left as it is.
mode_t CurrentUmask();

// Renames without ever replacing the target; false with errno EEXIST when
// the target exists.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Moves a file to folder + base + extension, or to the first free name with
// "(n)" (see THiddenFile::Commit). Returns the path it got; empty with errno.
std::string MoveToFreeName(const std::string& from, std::string_view folder, std::string_view base,
                           std::string_view extension);
