#pragma once
// Read-only key/value store standing in for the system registry.
