#pragma once
// The downloads folder: the files of at most one release, named by its tag.
//
//   <tag>.gz               the compressed image, complete and verified
//   <tag>                  the decompressed image (made when the image is first flashed)
//   checksum.md5           "<md5>  <tag>.gz": which release the image files belong to
//   <tag>.gz.part          an image download that did not finish, kept to be resumed
//   <tag>.gz.part.md5      the MD5 of the release that partial download belongs to

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

class release_cache {
public:
    explicit release_cache(const std::string& data_folder);

    // The 32 hex digits that open a checksum text, up to its first blank or line end; empty
    // when the text does not start with exactly 32 of them.
    static std::string checksum_in(const QByteArray& text);
    // The checksum the record beside the compressed image at `gz_path` names; empty when
    // there is none.
    static std::string recorded_checksum(const std::string& gz_path);
    // Removes the compressed image at `gz_path` and the record beside it, so that the next run
    // offers the download again.
    static void forget_download(const std::string& gz_path);

    QString compressed(const std::string& tag) const;
    QString partial(const std::string& tag) const;

    // The release "checksum.md5" names, when its compressed or decompressed image is there.
    std::optional<std::string> cached_tag() const;
    // Whether the recorded checksum is `checksum` and an image of `tag` is present (a
    // release's files may have been deleted by hand: the record alone does not count).
    bool holds(const std::string& tag, const std::string& checksum) const;

    // The size of a partial download of this release; 0 when there is none.
    qint64 partial_size(const std::string& tag, const std::string& checksum) const;
    // Empties the folder, keeping the partial download of `tag` when `keep_partial`.
    void clear(const std::string& tag, bool keep_partial) const;
    // Marks the partial download of `tag` as belonging to the release with `checksum`.
    bool mark_partial(const std::string& tag, const std::string& checksum) const;
    void remove_partial(const std::string& tag) const;
    // Gives the verified partial download its final name and records the release.
    bool complete_partial(const std::string& tag, const std::string& checksum) const;

private:
    QString m_folder;

    QString m_record() const;
    QString m_partial_checksum(const std::string& tag) const;
    bool m_image_present(const std::string& tag) const;
};
