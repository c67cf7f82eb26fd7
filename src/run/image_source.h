#pragma once
// The image of a flash run: the latest release asked for, its download offered and fetched, or
// an image file taken; then checked off the event loop, with the checksum that a file's first
// flash lacks recorded beside the write. It does the steps the flash job's table
// (run/transitions.h) asks for and tells what came of them; the table decides what follows.

#include "base/background_work.h"
#include "image/image_manipulator.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class cache_hold;
class image_retriever;

class image_source : public QObject {
    Q_OBJECT

public:
    // The retriever asks the endpoints of the build, or those given on the command line.
    explicit image_source(const std::string& data_folder);
    ~image_source() override;

    void ask_latest();
    // Fetches the release offered.
    void download();
    // Nothing of the request under way reports after it.
    void stop_retrieval();
    // The size and tag of the download on offer. Kept until the next offer: a run that takes
    // the start-up check's offer over makes it again.
    quint64 offered_size() const;
    const QString& offered_tag() const;

    // A run begins, on `image_file`, or on the latest release when that is empty: what the
    // check of an earlier run answers late is dropped. With `latest_only`, a release in the
    // cache never stands in for the latest.
    void begin_run(const std::string& image_file, bool latest_only);
    // The latest release could not be had (its request failed, or its download was declined):
    // the release in the cache takes its place, unless the run wants the latest only. Whether
    // it did; note() then tells it in the offline notice's words, and delivered() follows.
    bool fall_back_to_cached();
    // The release the start-up check found ready, outside any run.
    void keep(const std::string& delivered);
    // Checks the run's image: the release `delivered`, or the run's file. checked() answers.
    void check(const std::string& delivered);
    void stop_check();
    // Whether the run's file has no checksum recorded yet: its copies hash it as they inflate it.
    bool checksum_wanted() const;
    // The run's copies read the image file whole as they inflated it: its MD5, recorded once
    // the run has ended when its image was kept.
    void read_whole(const std::string& checksum);
    // The run has ended: a checksum read beside the write, or while inflating, is recorded when
    // the image it belongs to is whole, given up otherwise.
    void end_run();
    // Lets go of the run's hold on its image in the cache, once the record has read it.
    void release_hold();

    // The compressed image of the run, and where its decompressed image is or is made.
    const std::string& compressed() const;
    const std::string& decompressed() const;
    // What a disk is told when the image turns out damaged: a download, which is forgotten so
    // that the next run fetches it again, or the user's file, which stays as it is.
    QString found_damaged();
    // What every disk is told when the image could not be made ready, for `why`.
    QString unavailable(image_manipulator::failure why);
    // The image as the record of sticks flashed names it: a release by its tag, a file by its
    // path; and its MD5 as recorded, empty when it is not.
    std::string record_name() const;
    std::string record_checksum() const;

signals:
    // The release is in the cache: its path.
    void delivered(std::string path);
    // The release is not cached: its download is on offer (offered_size(), offered_tag()).
    void offered();
    void download_progress(qint64 done, qint64 total);
    // The cached release used offline: not an error.
    void note(QString text);
    // A request failed: the reason.
    void failed(QString text);
    // The run's image was checked: why it cannot be used, empty when it can.
    void checked(QString failure);

private:
    void m_check_release();
    void m_check_file();
    void m_checked(unsigned generation, const QString& failure_found);
    void m_record_checksum();

    const std::string m_data_folder;
    std::unique_ptr<image_retriever> m_retriever;
    quint64 m_offered_size = 0;
    QString m_offered_tag;

    // The run's image file; empty for the latest release.
    std::string m_image_file;
    bool m_latest_only = false;
    // Counts the runs: an answer for an earlier one is dropped.
    unsigned m_generation = 0;
    // From the start of a run until it has ended.
    bool m_in_run = false;
    std::string m_image;
    std::string m_decompressed;
    // The run's hold on its image's entry in the cache, from the moment the image is known until
    // the run has ended: no other process prunes it meanwhile.
    std::shared_ptr<cache_hold> m_image_hold;
    // The run's file has no checksum recorded yet, and the one its copies read.
    bool m_file_checksum_pending = false;
    std::string m_checksum_read;
    background_work m_check;
    background_work m_checksum_work;
};
