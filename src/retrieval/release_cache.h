#pragma once
// The downloads folder: the files of the cached release, named by its tag, and the download of
// a newer one until it is complete. The cached release stays flashable while the newer one
// downloads, also when that download stops or fails.
//
//   <tag>.gz               the compressed image, complete and verified
//   <tag>                  the decompressed image (made when the image is first flashed)
//   checksum.md5           "<md5>  <tag>.gz": which release the image files belong to
//   <tag>.gz.part          an image download that did not finish, kept to be resumed
//   <tag>.gz.part.md5      the MD5 of the release that partial download belongs to
//
// A run holds the release it flashes, and a download the partial it writes (cache_hold): a
// newer release that completes leaves the files of a held release for the next prune, and a
// second download of the same release waits for the first rather than writing into its file.

#include "image/cache_hold.h"

#include <QByteArray>
#include <QString>

#include <memory>
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
    // Removes the compressed image at `gz_path` and the record beside it when the record names
    // it, so that the next run offers the download again.
    static void forget_download(const std::string& gz_path);
    // Holds the files of the release whose compressed image is `gz_path` for a run, until it
    // lets go; null when the hold cannot be taken (a folder that may not be written).
    static std::unique_ptr<cache_hold> hold_release(const std::string& gz_path);

    QString compressed(const std::string& tag) const;
    QString partial(const std::string& tag) const;

    // The release "checksum.md5" names, when its compressed or decompressed image is there.
    std::optional<std::string> cached_tag() const;
    // Whether the record names the release `tag` with `checksum` and an image of `tag` is
    // present (a release's files may have been deleted by hand: the record alone does not
    // count). A record of the checksum alone, as older versions wrote it, names no tag.
    bool holds(const std::string& tag, const std::string& checksum) const;

    // The size of a partial download of this release; 0 when there is none.
    qint64 partial_size(const std::string& tag, const std::string& checksum) const;

    struct download_start {
        // Another download, of this process or another, writes the partial download of the
        // release, or looks at the folder for longer than a look takes: nothing was touched.
        bool elsewhere = false;
        // The download's hold on the partial download, which only it writes while it holds
        // it; null when the hold cannot be taken (a folder that may not be written).
        std::unique_ptr<cache_hold> claim;
    };
    // Makes the folder when it is gone, holds the partial download of `tag` for this download
    // and removes the partial downloads of other releases that no download holds; the cached
    // release stays until the download of `tag` is complete.
    download_start begin_download(const std::string& tag) const;
    // Marks the partial download of `tag` as belonging to the release with `checksum`.
    bool mark_partial(const std::string& tag, const std::string& checksum) const;
    void remove_partial(const std::string& tag) const;
    // Gives the verified partial download its final name, records the release and removes
    // every other file of the folder that no run holds: the release cached before goes now,
    // or at the first prune once nobody holds it.
    bool complete_partial(const std::string& tag, const std::string& checksum) const;
    // Removes the files of releases other than the recorded one that no run holds any longer;
    // the partial downloads stay, to be resumed.
    void prune() const;

private:
    struct record {
        std::string checksum;
        // Empty in a record of the checksum alone.
        std::string tag;
    };

    QString m_folder;

    static record m_read_record(const QString& path);
    // Whether the record names a release other than the compressed image at `gz_path`.
    static bool m_names_other(const record& found, const QString& gz_path);
    QString m_record() const;
    QString m_partial_checksum(const std::string& tag) const;
    bool m_image_present(const std::string& tag) const;
    // Removes every file but those of the release `tag` and of what a run holds, and, unless
    // `with_partials`, the partial downloads; under the folder's cache_lock.
    void m_remove_unused(const std::string& tag, bool with_partials) const;
};
