#pragma once
#include <QIcon>

// The thermometer beside a drop, from the same PNG files the package installs into the icon theme.
QIcon applicationIcon();
