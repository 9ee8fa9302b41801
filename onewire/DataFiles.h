#pragma once
// The files under DATA: the per-sensor monthly data files named by a description, and the writers
// that every record and summary file goes through. A DATA folder deleted while the station runs is
// created again by the next write.
#include <string>

// "DATA\<description>-MMYYYY.TXT" with the description made safe for a file name (SafeFileNamePart).
std::string SensorDataFileName(const std::string& description, int month, int year);

// Appends a record to a file under DATA (name as "DATA\..."). False when it was not written.
bool AppendDataFile(const std::string& name, const std::string& text);
// Writes a whole file under DATA (NOW.TXT, SUMMARY.TXT). False when it was not written.
bool WriteDataFile(const std::string& name, const std::string& text);
