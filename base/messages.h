#pragma once
// The failure messages of the install pipeline and the removal: each text is spelled once here,
// however many steps can end with it.
#include <string>

inline const std::wstring kMsgNoConnection =
    L"Нет связи с сайтом Кварталис. Проверьте интернет и повторите.";
inline const std::wstring kMsgSignatureRejected =
    L"Файлы на сайте не прошли проверку подписи — установка остановлена.";
// A signed manifest that the publisher has since replaced with a newer one (a replay), or one
// whose expiry has passed (a server frozen on one release).
inline const std::wstring kMsgOlderRelease =
    L"На сайте более ранняя версия, чем установленная, — обновление остановлено.";
inline const std::wstring kMsgManifestExpired =
    L"Сведения о версии на сайте устарели — установка остановлена.";
inline const std::wstring kMsgAppOpen = L"Планикс открыт — закройте его и нажмите «Повторить».";
inline const std::wstring kMsgCancelled = L"Установка отменена.";
inline const std::wstring kMsgOtherSetup = L"Планикс уже устанавливается в другом окне.";

// `path` is the manifest's path; `local` the install folder joined with it.
inline std::wstring msg_cannot_create_folder(const std::wstring& folder) {
    return L"Не создать папку " + folder;
}
inline std::wstring msg_not_fetched(const std::wstring& path) {
    return L"Не скачан " + path + L" — проверьте интернет и повторите.";
}
inline std::wstring msg_damaged(const std::wstring& path) {
    return L"Файл " + path + L" повреждён при загрузке — повторите.";
}
inline std::wstring msg_cannot_write(const std::wstring& local) {
    return L"Не записать " + local;
}
inline std::wstring msg_file_busy(const std::wstring& local) {
    return L"Файл занят: " + local + L" — закройте планикс.";
}
