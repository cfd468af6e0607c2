// The windows arrive with the page-1 work.
