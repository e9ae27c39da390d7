/* kd-eventmap.h
 *
 * Which property changes the device's driver reports as its own event types
 * (10 .. 17), and the data block each one carries.  Pure: no PTP session, so
 * that it can be fuzzed on its own.
 *
 * Copyright 2026 The libPluginCameraCtrl developers
 *
 * This library is free software; you can redistribute it and/or
 * modify it under the terms of the GNU Lesser General Public
 * License as published by the Free Software Foundation; either
 * version 2.1 of the License, or (at your option) any later version.
 *
 * This library is distributed in the hope that it will be useful,
 * but WITHOUT ANY WARRANTY; without even the implied warranty of
 * MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.  See the GNU
 * Lesser General Public License for more details.
 *
 * You should have received a copy of the GNU Lesser General Public
 * License along with this library; if not, write to the
 * Free Software Foundation, Inc., 51 Franklin Street, Fifth Floor,
 * Boston, MA  02110-1301  USA
 */
#ifndef KD_EVENTMAP_H
#define KD_EVENTMAP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The event types; their blocks are read at fixed offsets by the receiver. */
enum kd_event_type {
	KD_EVENT_RECORDING	= 10,	/* int32 at byte 20 of 24: 1 recording, 0 stopped */
	KD_EVENT_APERTURE	= 11,	/* int32: f-number x 100 */
	KD_EVENT_WHITEBALANCE	= 12,	/* int32: the body's white-balance code */
	KD_EVENT_ISO		= 13,	/* uint32: ISO */
	KD_EVENT_FOCUSMODE	= 15,	/* int32: the body's focus-mode code */
	KD_EVENT_SHUTTER	= 16,	/* int32 numerator, int32 denominator */
	KD_EVENT_PROGRAM	= 17	/* uint16: the body's exposure-program code */
};

/* The vendors as the driver's DeviceInfo names them. */
enum kd_vendor {
	KD_VENDOR_NIKON = 0x0A,
	KD_VENDOR_CANON = 0x0B,
	KD_VENDOR_SONY	= 0x11
};

/* The photo/movie selector of a body that has one: unknown, photo, movie. */
enum kd_selector {
	KD_SELECTOR_UNKNOWN = -1,
	KD_SELECTOR_PHOTO = 0,
	KD_SELECTOR_MOVIE = 1
};

/* One changed property as the driver knows it: its raw value (integers) and
 * the text the driver's widget shows for it (may be NULL). */
struct kd_change {
	uint32_t	vendor;
	uint16_t	code;
	int64_t		raw;
	const char	*text;
	int		selector;
};

/* Nonzero when the change is one the driver reports with its own event type. */
int kd_eventmap_claims (uint32_t vendor, uint16_t code);

/* The event for a change: fills *type and *block (malloc'ed, the receiver
 * frees it) and returns 1, or returns 0 when the value cannot be carried by the
 * event (an automatic ISO, a value the block has no room for, a property of the
 * mode the body is not in): the driver then reports the change its usual way. */
int kd_eventmap_block (const struct kd_change *change, int *type, void **block, size_t *size);

#ifdef __cplusplus
}
#endif

#endif /* KD_EVENTMAP_H */
