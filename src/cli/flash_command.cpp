#include "cli/flash_command.h"

#include "cli/disk_choice.h"
#include "cli/flash_batch.h"
#include "cli/flash_values.h"
#include "cli/interruption.h"
#include "config/image_configurator.h"
#include "config/worker_name.h"
#include "device/device_manager.h"
#include "settings_store.h"

#include <QFileInfo>

namespace cli {

flash_command::flash_command(const request& asked, const std::string& data_folder, console& io)
    : m_asked(asked), m_data_folder(data_folder), m_io(io)
{
}

int flash_command::run()
{
    const flash_values checked = values_for(m_asked, *settings_store::load_settings(m_data_folder));
    if (!checked.error.empty()) {
        m_io.err << checked.error << std::endl;
        return 2;
    }
    const QFileInfo image(QString::fromStdString(m_asked.image));
    if (!m_asked.image.empty() && !(image.isFile() && image.isReadable())) {
        m_io.err << "Cannot read the image " << m_asked.image << std::endl;
        return 2;
    }

    device_manager devices;
    const disk_choice choice = choose_disks(m_asked, offered_disks(devices.get_devices()));
    for (const listed_disk& disk : choice.left_out)
        m_io.out << "Left out: disk " << disk.number << " (" << disk.record->name << ", "
                 << size_text(disk.record->size) << ") is larger than 64 GiB; name it with --disk and --yes\n";
    if (!choice.error.empty()) {
        m_io.err << choice.error << std::endl;
        return 2;
    }

    std::vector<flash_target> targets;
    for (const listed_disk& disk : choice.chosen) {
        const inputs values = counted_on(checked.values, targets.size());
        targets.push_back({disk, expand_worker_name(values.worker), QByteArray()});
    }
    m_io.out << "About to erase every byte on:\n";
    for (const flash_target& target : targets)
        m_io.out << "  disk " << target.disk.number << "  " << target.disk.record->path << "  "
                 << size_text(target.disk.record->size) << "  " << target.disk.record->name
                 << "  -> worker \"" << target.worker_name << "\"\n";
    if (!m_asked.yes && !m_confirmed()) {
        m_io.out << "Nothing was written." << std::endl;
        return 1;
    }

    for (flash_target& target : targets) {
        // Each block is saved as the settings on its way; the settings end as the values given.
        target.configuration = image_configurator::configure_image(
            m_data_folder, counted_on(checked.values, &target - targets.data()));
        if (target.configuration.isEmpty()) {
            m_io.err << "Config file exceeds 2kB" << std::endl;
            return 2;
        }
    }
    settings_store::save_settings(m_data_folder, checked.values);

    interruption::catch_interrupts();
    flash_batch batch(m_data_folder, devices, targets, m_asked.image, m_asked.verify, m_io);
    const int status = batch.run();
    settings_store::save_settings(m_data_folder, counted_on(checked.values, batch.successes()));
    return status;
}

bool flash_command::m_confirmed()
{
    m_io.out << "Type yes to erase them: " << std::flush;
    std::string answer;
    std::getline(m_io.in, answer);
    return answer == "yes";
}

} // namespace cli
