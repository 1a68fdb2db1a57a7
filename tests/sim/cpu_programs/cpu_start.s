; Start-up for the CPU core's test programs: stack, cleared .bss, main(),
; then SLEEP with main's return value in R0.
	.h8300h
	.section .text
	.global	_start
_start:
	mov.l	#_stack_top,er7
	mov.l	#__bss_start,er0
	mov.l	#__bss_end,er1
	sub.b	r2l,r2l
clear:
	cmp.l	er1,er0
	bhs	cleared
	mov.b	r2l,@er0
	adds	#1,er0
	bra	clear
cleared:
	jsr	@_main
	sleep
