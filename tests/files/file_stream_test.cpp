#include "files/file_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/files/temp_folder.h"
#include "tools/lib/pack_writer.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Everything a CReadStream delivers through the given callbacks and record.
std::string ReadThroughStream(const CStreamCallbacks& callbacks, CFileStream* record) {
    CReadStream stream;
    stream.SetSource(callbacks, record);
    stream.blockMode = 1;
    stream.AllocBuffer(3);
    std::string out;
    char block[4];
    int32_t n;
    while ((n = stream.Read(block, sizeof block)) > 0) out.append(block, n);
    stream.source = nullptr;  // the caller closes the record
    return out;
}

}  // namespace

TEST(FileStream, EntryAndLooseFileReadSeekTellAndEofAlike) {
    CTempFolder folder;
    const std::string text = "0123456789abcdef";
    CPackWriteOptions options;
    options.scrambled = true;
    ASSERT_EQ(WritePackArchive(folder / "d.pac", {{"Dir/File.txt", Bytes(text)}}, options), 0);
    folder.Write("File.txt", text);
    CPackArchive archive;
    ASSERT_EQ(archive.Open((folder / "d.pac").c_str()), 0);

    CFileStream entry;
    ASSERT_EQ(entry.OpenEntry(&archive, "dir\\file.TXT"), 0);
    EXPECT_EQ(entry.kind, kFileStreamEntry);
    CFileStream loose;
    ASSERT_EQ(loose.OpenLoose((folder / "File.txt").c_str()), 0);

    for (CFileStream* record : {&entry, &loose}) {
        EXPECT_EQ(ReadThroughStream(FileStreamCallbacks(), record), text);
        EXPECT_EQ(CFileStream::Eof(record), 1);
        EXPECT_EQ(CFileStream::Seek(record, 4, 0), 0);
        EXPECT_EQ(CFileStream::Tell(record), 4);
        EXPECT_EQ(CFileStream::IsEof(record), 0);
        char two[2];
        EXPECT_EQ(CFileStream::Read(two, 1, 2, record), 2u);
        EXPECT_EQ(std::string(two, 2), "45");
        EXPECT_EQ(CFileStream::Seek(record, -3, 2), 0);
        EXPECT_EQ(CFileStream::Tell(record), 13);
        char four[4];
        EXPECT_EQ(CFileStream::Read(four, 2, 2, record), 1u) << "whole elements counted, as fread does";
        EXPECT_EQ(std::string(four, 3), "def");
        EXPECT_EQ(CFileStream::Read(four, 1, 4, record), 0u);
        EXPECT_EQ(CFileStream::Close(record), 0);
        EXPECT_EQ(CFileStream::Tell(record), -1);
        EXPECT_EQ(CFileStream::Eof(record), 1);
        EXPECT_EQ(CFileStream::Read(four, 1, 4, record), 0u);
    }

    EXPECT_EQ(entry.OpenEntry(&archive, "missing"), kPackNoEntry);
    EXPECT_EQ(entry.OpenEntry(nullptr, "Dir/File.txt"), -1);
    EXPECT_EQ(loose.OpenLoose((folder / "missing").c_str()), -1);
    EXPECT_EQ(CFileStream::Seek(&loose, 0, 0), -1);

    // A null record reads nothing and stands at its end.
    char byte;
    EXPECT_EQ(CFileStream::Read(&byte, 1, 1, nullptr), 0u);
    EXPECT_EQ(CFileStream::Tell(nullptr), -1);
    EXPECT_EQ(CFileStream::Eof(nullptr), 1);
    EXPECT_EQ(CFileStream::Release(nullptr), 0);
}

TEST(FileStream, ReleaseClosesAndFreesAHeapRecord) {
    CTempFolder folder;
    ASSERT_EQ(WritePackArchive(folder / "d.pac", {{"a", Bytes("abc")}}), 0);
    CPackArchive archive;
    ASSERT_EQ(archive.Open((folder / "d.pac").c_str()), 0);
    auto* record = new CFileStream;
    ASSERT_EQ(record->OpenEntry(&archive, "a"), 0);
    const CStreamCallbacks callbacks = FileStreamReleasingCallbacks();
    EXPECT_EQ(callbacks.close, &CFileStream::Release);
    CReadStream stream;
    stream.SetSource(callbacks, record);
    stream.AllocBuffer(16);
    ASSERT_EQ(stream.Fill(3), 0);
    char got[3];
    EXPECT_EQ(stream.Read(got, 3), 3);
    stream.Close();  // releases the record: the leak checker sees it freed
    EXPECT_EQ(stream.source, nullptr);
}

TEST(FileStream, FileRefCallbacksWorkOnAFileVariable) {
    CTempFolder folder;
    const std::string path = folder.Write("f.bin", "hello");
    FILE* file = std::fopen(path.c_str(), "rb");
    char got[8];
    EXPECT_EQ(ReadFileRef(got, 1, 8, &file), 5u);
    EXPECT_EQ(TellFileRef(&file), 5);
    EXPECT_EQ(SeekFileRef(&file, 1, 0), 0);
    EXPECT_EQ(ReadFileRef(got, 1, 2, &file), 2u);
    EXPECT_EQ(std::string(got, 2), "el");
    EXPECT_EQ(CloseFileRef(&file), 0);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(CloseFileRef(&file), 0);
    EXPECT_EQ(ReadFileRef(got, 1, 2, &file), 0u);
    EXPECT_EQ(SeekFileRef(&file, 0, 0), -1);
    EXPECT_EQ(TellFileRef(&file), -1);
}
