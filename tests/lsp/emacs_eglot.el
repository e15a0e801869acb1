;;; emacs_eglot.el --- orvasm-lsp in Emacs with eglot, in batch mode  -*- lexical-binding: t -*-
;;
;; A second real editor as the client: Emacs starts orvasm-lsp through
;; eglot, opens a source with an error and waits for flymake to show the
;; diagnostic on its token, fixes it, jumps to a definition with xref,
;; renames a label with eglot-rename, then shuts eglot down, which sends
;; "shutdown" and "exit" (with null params): the server must end with status 0.
;;
;;   ORVASM_LSP=build/orvasm-lsp emacs --batch -Q -l tests/lsp/emacs_eglot.el
;;
;; Exits with status 0 when every check passes, 77 when eglot cannot be
;; loaded (the test is then skipped), otherwise 1 with the failed check on
;; standard error.

(require 'cl-lib)

(defvar orvasm-test-timeout 10.0 "Seconds to wait for each answer.")

(defun orvasm-test-fail (format-string &rest arguments)
  (message "emacs_eglot: %s" (apply #'format format-string arguments))
  (kill-emacs 1))

(defun orvasm-test-wait (what predicate)
  "Waits until PREDICATE holds, or fails with WHAT."
  (let ((deadline (+ (float-time) orvasm-test-timeout)))
    (while (and (not (funcall predicate)) (< (float-time) deadline))
      (accept-process-output nil 0.05))
    (unless (funcall predicate)
      (orvasm-test-fail "%s; diagnostics %S" what (orvasm-test-diagnostics)))))

;; Debian's ELPA packages are not on the load path of "emacs -Q".
(dolist (directory (file-expand-wildcards "/usr/share/emacs/site-lisp/elpa/*"))
  (add-to-list 'load-path directory))
(unless (require 'eglot nil t)
  (message "emacs_eglot: eglot is not installed")
  (kill-emacs 77))

(define-derived-mode orvasm-mode prog-mode "orvasm")
(add-to-list 'auto-mode-alist '("\\.orv\\'" . orvasm-mode))

(defvar orvasm-test-server (getenv "ORVASM_LSP"))
(unless (and orvasm-test-server (file-executable-p orvasm-test-server))
  (orvasm-test-fail "ORVASM_LSP names no program"))
(add-to-list 'eglot-server-programs `(orvasm-mode ,orvasm-test-server))
(setq eglot-sync-connect t
      eglot-autoshutdown nil)

;; After "exit", jsonrpc deletes (kills) the process at once; here it first
;; gives the server the time to end on its own, so that its status is its own.
(advice-add 'jsonrpc-shutdown :before
            (lambda (connection &rest _)
              (let ((process (jsonrpc--process connection))
                    (deadline (+ (float-time) orvasm-test-timeout)))
                (while (and (process-live-p process) (< (float-time) deadline))
                  (accept-process-output process 0.05)))))

(defun orvasm-test-diagnostics ()
  (mapcar (lambda (d) (list (flymake-diagnostic-text d)
                            (flymake-diagnostic-beg d) (flymake-diagnostic-end d)))
          (flymake-diagnostics)))

(defun orvasm-test-run ()
  (let* ((workspace (make-temp-file "orvasm-eglot-" t))
         (path (expand-file-name "main.orv" workspace)))
    (with-temp-file path (insert "@Start\n  #01 #0\n"))
    (find-file path)
    (apply #'eglot (eglot--guess-contact))
    (let ((server (eglot-current-server)))
      (unless server (orvasm-test-fail "eglot did not connect"))
      ;; Flymake asks eglot for its diagnostics when it starts a check,
      ;; which in batch mode no idle timer does.
      (flymake-start)
      ;; #0 is on line 2 from column 6: buffer positions 14 to 16. Eglot puts
      ;; the source before the message.
      (orvasm-test-wait "one diagnostic on #0"
                        (lambda () (equal (orvasm-test-diagnostics)
                                          '(("orvasm: Invalid hex literal: #0" 14 16)))))
      (erase-buffer)
      (insert "@Start\n  #01 ,&loop JMP\n  &loop ;Start/loop JMP2\n")
      ;; Eglot sends changes from an idle timer, which batch mode never
      ;; runs, or before a save.
      (save-buffer)
      (flymake-start)
      (orvasm-test-wait "no diagnostics once fixed"
                        (lambda () (null (orvasm-test-diagnostics))))
      ;; ",&loop" on line 2 names "&loop" at the start of line 3.
      (goto-char (point-min))
      (search-forward ",&lo")
      (xref-find-definitions (xref-backend-identifier-at-point (xref-find-backend)))
      (unless (and (= (line-number-at-pos) 3) (= (current-column) 2))
        (orvasm-test-fail "xref: at %d:%d, not on &loop at 3:2"
                          (line-number-at-pos) (current-column)))
      (forward-char 2)
      (eglot-rename "again")
      (let ((text (buffer-substring-no-properties (point-min) (point-max))))
        (unless (equal text "@Start\n  #01 ,&again JMP\n  &again ;Start/again JMP2\n")
          (orvasm-test-fail "rename: the buffer is %S" text)))
      (let ((process (jsonrpc--process server)))
        (eglot-shutdown server)
        (orvasm-test-wait "the server to end" (lambda () (not (process-live-p process))))
        (unless (eq (process-exit-status process) 0)
          (orvasm-test-fail "the server ended with status %s" (process-exit-status process)))))
    (set-buffer-modified-p nil)
    (delete-directory workspace t)))

(condition-case failure
    (orvasm-test-run)
  (error (orvasm-test-fail "%s" (error-message-string failure))))
(kill-emacs 0)
