#pragma once

#include "CameraInfo.h"

#include <QString>

// One discovered device, of either family.
class CCameraInfoObj final
{
public:
    explicit CCameraInfoObj(const CameraInfo &info = CameraInfo{})
        : m_CameraInfo(info)
    {
    }

    QString m_strMaker = QStringLiteral("Talbrixonics");
    CameraInfo m_CameraInfo;
};
