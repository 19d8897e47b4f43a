#include "ui/cloud_dlg.h"

#include <QGridLayout>
#include <QVBoxLayout>

#include "cloud/cloud_transfer.h"
#include "core/string_table.h"

namespace bk::ui {

CCloudDlg::CCloudDlg(QWidget* parent, const CloudSettings& cloud)
    : CBasicDlg(10029, QStringLiteral("Параметры облачного хранилища"), parent),
      cloud_(cloud),
      service_(named(new QComboBox(this), 11082)),
      link_(named(new QLabel(this), 11086)),
      url_(named(new QLineEdit(this), 11083)),
      login_(named(new QLineEdit(this), 11022)),
      password_(named(new QLineEdit(this), 11085)),
      eternal_only_(named(new QCheckBox(QStringLiteral("Загружать только копии с вечным сроком хранения"), this), 11091)) {
    for (const CloudService& service : known_cloud_services())
        service_->addItem(qs(std::wstring(service.display_name)), qs(std::wstring(service.id)));
    service_->addItem(str(ids::CLOUD_CUSTOM), qs(CLOUD_SERVICE_CUSTOM));
    link_->setOpenExternalLinks(true);
    link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    password_->setEchoMode(QLineEdit::Password);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Сервис:"), this), 0, 0);
    grid->addWidget(service_, 0, 1);
    grid->addWidget(link_, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Адрес:"), this), 1, 0);
    grid->addWidget(url_, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Пользователь:"), this), 2, 0);
    grid->addWidget(login_, 2, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Пароль:"), this), 3, 0);
    grid->addWidget(password_, 3, 1, 1, 2);
    grid->addWidget(eternal_only_, 4, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(ok_cancel_row(this, &ok_));
    url_->setMinimumWidth(320);

    int index = service_->findData(qs(cloud_.service));
    if (index < 0) index = 0;
    service_->setCurrentIndex(index);
    apply_selection();
    if (cloud_.service == CLOUD_SERVICE_CUSTOM) url_->setText(qs(cloud_.url));
    login_->setText(qs(cloud_.login));
    password_->setText(qs(cloud_.password));
    eternal_only_->setChecked(cloud_.eternal_only);
    update_ok();

    connect(service_, &QComboBox::currentIndexChanged, this, [this] {
        apply_selection();
        update_ok();
    });
    for (QLineEdit* edit : {url_, login_, password_})
        connect(edit, &QLineEdit::textChanged, this, [this] { update_ok(); });
}

void CCloudDlg::apply_selection() {
    const CloudService* service = find_cloud_service(ws(service_->currentData().toString()));
    if (!service) {  // "Другой": the user's own server, at the address the user types
        link_->hide();
        url_->clear();
        url_->setReadOnly(false);
        return;
    }
    const QString page = qs(std::wstring(service->web_page));
    link_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(page.toHtmlEscaped()));
    link_->setToolTip(page);
    link_->setVisible(!page.isEmpty());
    url_->setText(qs(std::wstring(service->webdav_url)));
    url_->setReadOnly(true);
}

CloudSettings CCloudDlg::shown() const {
    CloudSettings cloud;
    cloud.service = ws(service_->currentData().toString());
    if (cloud.service == CLOUD_SERVICE_CUSTOM) cloud.url = ws(url_->text());
    cloud.login = ws(login_->text());
    cloud.password = ws(password_->text());
    cloud.eternal_only = eternal_only_->isChecked();
    return cloud;
}

void CCloudDlg::update_ok() { ok_->setEnabled(cloud_account_complete(shown())); }

void CCloudDlg::accept() {
    const CloudSettings cloud = shown();
    if (!cloud_account_complete(cloud)) return;
    cloud_ = cloud;
    CBasicDlg::accept();
}

}  // namespace bk::ui
