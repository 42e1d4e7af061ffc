#pragma once

#include <QLineEdit>
#include <cstdint>

// An IPv4 address control: up to four dot-separated decimal parts of 0-255, missing parts
// reading as 0.
class IpAddressEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit IpAddressEdit(QWidget* parent = nullptr);
    uint32_t Address() const;
    void SetAddress(uint32_t hostOrder);
};
