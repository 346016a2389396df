// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What is wrong with `name` as the file name a description is saved under, in words for the
// user; empty when it is a plain file name. A description is always stored at the top of the
// archive, so the name may not be empty, hold a folder, or be "." or "..".
QString descriptionNameProblem(const QString &name);
