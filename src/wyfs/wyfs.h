/* The card file-system library: plain C operations on WyFS volumes (block devices, partitions
 * or image files, named by their "raw disk path"). Narrow strings; integers little-endian in
 * the blocks the caller passes. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 161 bytes the caller allocates and zeroes before Device_Open and frees after Device_Close. */
typedef struct CardDeviceHandle {
    unsigned char bytes[161];
} CardDeviceHandle;

/* Up to 30 items of 128 bytes after a 32-bit capacity (set by the caller, at most 30). Item:
 * zero-terminated name from byte 0 (shorter than 64 bytes), file id at 98 (int32), size in
 * bytes at 102 (uint32), recording time at 106 (int32, seconds since 1970-01-01 UTC). */
typedef struct CardListBuffer {
    unsigned char bytes[3845];
} CardListBuffer;

enum { kCardListCapacity = 30, kCardListItemSize = 128 };

/* Master device information: bytes 0-3 "WYFS", 4-7 version, 8-11 sector size, 12-15 sectors
 * of 512 bytes (uint32, clamped), 16-19 sectors per cluster, 20-23 clusters, 24-27 free
 * clusters. */
typedef struct CardMasterInfo {
    unsigned char bytes[64];
} CardMasterInfo;

/* Directory information: bytes 0-3 file count, 4-11 bytes used by its files. */
typedef struct CardDirInfo {
    unsigned char bytes[64];
} CardDirInfo;

/* An open file, for reading a recording's bytes. */
typedef struct CardFileHandle {
    unsigned char bytes[32];
} CardFileHandle;

void QV_WyFS_Start(void);
/* Closes every device still open. */
void QV_WyFS_Stop(void);

/* Non-zero when the disk or image holds a valid WyFS volume. */
int QV_WyFS_Check_WyFS_partition(const char* rawDiskPath);
/* 0 and the block filled, or -1. */
int QV_WyFS_Get_Master_Device_Info(const char* rawDiskPath, CardMasterInfo* info);

/* 0 when opened (read-only, whatever `mode`; the viewer passes 130), -1 otherwise. */
int QV_WyFS_Device_Open(const char* rawDiskPath, int mode, CardDeviceHandle* handle);
void QV_WyFS_Device_Close(CardDeviceHandle* handle);

/* 0 when the directory exists (info, fileCount and bytesUsed filled where not null), -1
 * otherwise. */
int QV_WyFS_Get_Dir_Info(CardDeviceHandle* handle, const char* dirName, CardDirInfo* info,
                         uint64_t* fileCount, uint64_t* bytesUsed);
/* Fills `list` with the directory's files from `*cursor` (1-based, set to 1 by the caller
 * before the first call) and advances the cursor; returns the number written, 0 when none
 * are left, -1 on a bad handle, directory or buffer. */
int QV_WyFS_Get_FileList(CardDeviceHandle* handle, const char* dirName, int* cursor,
                         CardListBuffer* list, int reserved);

/* Reading one file: open by directory and name (0 or -1), size in bytes (-1 on a bad
 * handle), read at an offset (bytes read, 0 at the end, -1 on error), close. */
int QV_WyFS_File_Open(CardDeviceHandle* device, const char* dirName, const char* fileName,
                      CardFileHandle* file);
int64_t QV_WyFS_File_Size(const CardFileHandle* file);
int64_t QV_WyFS_File_Read(const CardFileHandle* file, uint64_t offset, void* buffer,
                          uint32_t length);
void QV_WyFS_File_Close(CardFileHandle* file);

#ifdef __cplusplus
}
#endif
