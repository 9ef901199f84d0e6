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
    for (int32_t n; (n = stream.Read(block, sizeof block)) > 0;) out.append(block, n);
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
    CPackArchive archive;
    ASSERT_EQ(archive.Open((folder / "d.pac").c_str()), 0);
    CFileStream entry;
    ASSERT_EQ(entry.OpenEntry(&archive, "dir\\file.TXT"), 0);
    EXPECT_EQ(entry.kind, kFileStreamEntry);
    CFileStream loose;
    ASSERT_EQ(loose.OpenLoose(folder.Write("File.txt", text).c_str()), 0);

    for (CFileStream* record : {&entry, &loose}) {
        EXPECT_EQ(ReadThroughStream(FileStreamCallbacks(), record), text);
        EXPECT_EQ(CFileStream::Eof(record), 1);
        EXPECT_EQ(CFileStream::Seek(record, 4, 0), 0);
        EXPECT_EQ(CFileStream::Tell(record), 4);
        EXPECT_EQ(CFileStream::IsEof(record), 0);
        char got[4];
        EXPECT_EQ(CFileStream::Read(got, 1, 2, record), 2u);
        EXPECT_EQ(std::string(got, 2), "45");
        EXPECT_EQ(CFileStream::Seek(record, -3, 2), 0);
        EXPECT_EQ(CFileStream::Tell(record), 13);
        EXPECT_EQ(CFileStream::Read(got, 2, 2, record), 1u) << "whole elements counted, as fread does";
        EXPECT_EQ(std::string(got, 3), "def");
        EXPECT_EQ(CFileStream::Read(got, 1, 4, record), 0u);
        EXPECT_EQ(CFileStream::Close(record), 0);
        EXPECT_EQ(CFileStream::Tell(record), -1);
        EXPECT_EQ(CFileStream::Eof(record), 1);
        EXPECT_EQ(CFileStream::Read(got, 1, 4, record), 0u);
    }

    EXPECT_EQ(entry.OpenEntry(&archive, "missing"), kPackNoEntry);
    EXPECT_EQ(entry.OpenEntry(nullptr, "Dir/File.txt"), -1);
    EXPECT_EQ(loose.OpenLoose((folder / "missing").c_str()), -1);
    EXPECT_EQ(CFileStream::Seek(&loose, 0, 0), -1);
    char byte;
    EXPECT_EQ(CFileStream::Read(&byte, 1, 1, nullptr), 0u);
    EXPECT_EQ(CFileStream::Tell(nullptr), -1);
    EXPECT_EQ(CFileStream::Eof(nullptr), 1);
    EXPECT_EQ(CFileStream::Release(nullptr), 0);

    // A heap record handed to a stream with the releasing set is closed and freed with it
    // (the leak checker sees it freed).
    auto* record = new CFileStream;
    ASSERT_EQ(record->OpenEntry(&archive, "Dir/File.txt"), 0);
    const CStreamCallbacks releasing = FileStreamReleasingCallbacks();
    EXPECT_EQ(releasing.close, &CFileStream::Release);
    CReadStream stream;
    stream.SetSource(releasing, record);
    stream.AllocBuffer(16);
    ASSERT_EQ(stream.Fill(3), 0);
    EXPECT_EQ(stream.Read(&byte, 1), 1);
    stream.Close();
    EXPECT_EQ(stream.source, nullptr);
}

TEST(FileStream, FileRefCallbacksWorkOnAFileVariable) {
    CTempFolder folder;
    FILE* file = std::fopen(folder.Write("f.bin", "hello").c_str(), "rb");
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
