#pragma once
// Inside the table layer only: SQLite's default file system with the plain-file rule
// added, for every table file and journal of the process.

// Installs it; once is enough, later calls do nothing.
void InstallPlainFileVfs();
